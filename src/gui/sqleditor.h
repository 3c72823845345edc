#pragma once

#include "core/editor/completion.h"
#include "core/editor/textsearch.h"

#include <Qsci/qsciscintilla.h>

#include <vector>

namespace qv {

// The SQL box: QScintilla with its SQL lexer in the program's colours, line numbers and the
// parenthesis matching the one at the caret marked. What is typed stays as typed, line ends
// included (a paste keeps its own). Positions it takes and gives are UTF-16 offsets into
// text(), as the core counts them; the box itself counts UTF-8 bytes. Each change made here
// through a function is one undo step.
class SqlEditor : public QsciScintilla {
    Q_OBJECT
  public:
    explicit SqlEditor(QWidget* parent = nullptr);
    ~SqlEditor() override;

    // The box's family and size (the SQLフォント... option), with the weights and slants of the
    // colours kept.
    void setSqlFont(const QFont& font);

    qsizetype caretOffset() const;
    void setCaretOffset(qsizetype offset);
    TextRange selectedRange() const;
    void selectRange(TextRange range);
    // Replaces `range` with `text`; the caret ends after it.
    void replaceRange(TextRange range, const QString& text);
    // Replaces the whole text; the caret ends after it.
    void replaceText(const QString& text);
    // Makes every edit (in order, none overlapping); the caret stays on its text.
    void applyEdits(const std::vector<TextEdit>& edits);

    // Puts the caret at `offset` and marks its line, where the server stopped reading the
    // statement it refused; the mark goes at the next edit; -1 takes it away now.
    void markError(qsizetype offset);
    // The line (from 0) markError() marked; -1 when none is.
    int markedErrorLine() const;

    // Shows `completion`'s items under the caret; an empty one closes the list.
    void showCompletion(const Completion& completion);
    bool completionShown() const { return isListActive(); }
    // What the list shows, or showed last.
    const Completion& completion() const { return completion_; }

    // Room at the bottom of the box that something over it takes (the find bar).
    void setBottomMargin(int pixels);

    // Pastes the clipboard's text as it is, its line ends included (QScintilla's own paste
    // would make them the box's).
    void paste() override;

  Q_SIGNALS:
    // Ctrl+Enter (or Ctrl+Return) was pressed.
    void runRequested();
    // A qualifier's dot was typed: the names after it are wanted (`namesOnly`: no keywords).
    void completionWanted(bool namesOnly);
    // A list of `count` items is shown.
    void completionListShown(int count);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    int bytePosition(qsizetype offset) const;
    qsizetype offsetOf(int bytePosition) const;
    // An item of the list was chosen; `position` is where the word it completes starts.
    void itemChosen(const char* label, int position);
    void updateLineNumberWidth();

    Completion completion_;    // the list shown
    bool completing_ = false;  // a list is shown or asked for
};

}  // namespace qv
