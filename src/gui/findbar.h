#pragma once

#include "core/editor/textsearch.h"

#include <QWidget>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace qv {

class SqlEditor;

// The SQL box's find bar (検索..., 置換...): what to find and what to put instead, with match
// case, whole word and regular expression; it lies over the bottom of the box. What a search
// finds is the core's (core/editor/textsearch.h); the bar selects it in the box.
class FindBar : public QWidget {
    Q_OBJECT
  public:
    FindBar(SqlEditor* editor, QWidget* parent);

    // Shows the bar (with its replace row for 置換...) and puts the focus in its find field,
    // which takes the box's selection when that lies on one line.
    void open(bool replace);
    // Hides the bar; the focus goes back to the box.
    void close();
    // 次を検索, 前を検索: selects the next (previous) match after (before) the selection,
    // wrapping around; the bar opens when there is nothing to find yet.
    void findNext();
    void findPrevious();
    // 置換: replaces the selection when it is a match, then finds the next one.
    void replaceOne();
    // すべて置換: every match, as one undo step.
    void replaceAll();

    // The height the bar needs as it is now.
    int barHeight() const;

    QLineEdit* findEdit() const { return findEdit_; }
    QLineEdit* replaceEdit() const { return replaceEdit_; }
    QToolButton* matchCaseButton() const { return matchCase_; }
    QToolButton* wholeWordButton() const { return wholeWord_; }
    QToolButton* regularExpressionButton() const { return regex_; }
    // What the last command found or did not: "見つかりません: …", the number replaced.
    QLabel* messageLabel() const { return message_; }

  Q_SIGNALS:
    // The bar was shown, hidden, or changed its height.
    void layoutChanged();

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // The search the fields make; null after telling why there is none.
    std::optional<TextSearch> search();
    void find(bool forward, qsizetype from);
    void setReplaceShown(bool shown);

    SqlEditor* editor_;
    QLineEdit* findEdit_;
    QLineEdit* replaceEdit_;
    QWidget* replaceRow_;
    QToolButton* matchCase_;
    QToolButton* wholeWord_;
    QToolButton* regex_;
    QLabel* message_;
};

}  // namespace qv
