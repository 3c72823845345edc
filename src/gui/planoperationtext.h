#pragma once

#include <QString>
#include <QStyledItemDelegate>

class QFontMetrics;

namespace qv {

// A plan operation ("  TABLE ACCESS BY INDEX ROWID (DEMO.ORDERS)") cut to `room` pixels in the
// middle of its operation words, the object it names kept whole: the object is what tells two
// lines apart. An operation too narrow even for its object loses the middle of the whole text.
QString elidedPlanOperation(const QString& text, const QFontMetrics& metrics, int room);

// Paints a column of plan operations as elidedPlanOperation() cuts them.
class PlanOperationDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

// The room the style leaves an item's text in `option`, with a pixel to spare: a text that only
// just fits by its advance can still be cut by the bearing of its last character.
int itemTextRoom(const QStyleOptionViewItem& option);

}  // namespace qv
