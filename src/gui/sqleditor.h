#pragma once

#include <QPlainTextEdit>

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

    SqlHighlighter* highlighter_;
    QWidget* lineNumbers_;
};

}  // namespace qv
