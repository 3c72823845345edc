#include "gui/planoperationtext.h"

#include <QApplication>
#include <QFontMetrics>
#include <QStyle>

namespace qv {

QString elidedPlanOperation(const QString& text, const QFontMetrics& metrics, int room) {
    if (metrics.horizontalAdvance(text) <= room)
        return text;
    const qsizetype open = text.lastIndexOf(QStringLiteral(" ("));
    if (open > 0 && text.endsWith(u')')) {
        qsizetype indent = 0;
        while (indent < open && text[indent] == u' ')
            ++indent;
        const QString lead = text.left(indent);
        const QString object = text.mid(open);
        const int left = room - metrics.horizontalAdvance(lead + object);
        const QString words = text.mid(indent, open - indent);
        // Room for a few characters of the operation at least; else the whole text is cut.
        if (left >= metrics.horizontalAdvance(QStringLiteral("MMM…")))
            return lead + metrics.elidedText(words, Qt::ElideMiddle, left) + object;
    }
    return metrics.elidedText(text, Qt::ElideMiddle, room);
}

int itemTextRoom(const QStyleOptionViewItem& option) {
    const QWidget* w = option.widget;
    const QStyle* style = w ? w->style() : QApplication::style();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, w) + 1;
    return option.rect.width() - 2 * margin - 1;
}

void PlanOperationDelegate::initStyleOption(QStyleOptionViewItem* option,
                                            const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    option->text =
        elidedPlanOperation(option->text, QFontMetrics(option->font), itemTextRoom(*option));
}

}  // namespace qv
