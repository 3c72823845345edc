#pragma once

#include <QPlainTextEdit>

#include <optional>

namespace qv {

class SqlHighlighter;

// The SQL box: the statement as typed (nothing is ever indented, closed or changed for the
// user), coloured as SQL, with line numbers down the left and the parenthesis matching the one
// at the caret marked. Ctrl+Enter asks for a run.
class SqlEditor : public QPlainTextEdit {
    Q_OBJECT
  public:
    explicit SqlEditor(QWidget* parent = nullptr);
    ~SqlEditor() override;

    SqlHighlighter* highlighter() const { return highlighter_; }
    // The strip on the left that shows the line numbers.
    QWidget* lineNumberArea() const { return lineNumbers_; }
    int lineNumberAreaWidth() const;

    // Puts the caret at character `position` and marks its line: where the server stopped
    // reading the statement it refused. The mark goes at the next edit; -1 takes it away now.
    void markError(int position);
    // The line (from 0) marked by markError(); -1 when none is.
    int markedErrorLine() const;

  Q_SIGNALS:
    // Ctrl+Enter (or Ctrl+Return) was pressed.
    void runRequested();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void updateMargins();
    void placeLineNumberArea();
    void updateLineNumberArea(const QRect& rect, int dy);
    void paintLineNumbers(const QRect& rect);
    void markMatchingParenthesis();
    void showMarks();

    SqlHighlighter* highlighter_;
    QWidget* lineNumbers_;
    QList<QTextEdit::ExtraSelection> parenthesisMarks_;
    std::optional<QTextEdit::ExtraSelection> errorMark_;
    QString errorText_;  // the text the error mark belongs to
};

}  // namespace qv
