#include "gui/plaintext.h"

#include <QLabel>
#include <QMessageBox>
#include <QTextDocument>

namespace qv {

QLabel* plainLabel(QLabel* label) {
    label->setTextFormat(Qt::PlainText);
    return label;
}

QMessageBox& plainBox(QMessageBox& box) {
    box.setTextFormat(Qt::PlainText);
    return box;
}

QString plainToolTip(const QString& text) {
    if (text.isEmpty())
        return QString();
    return Qt::convertFromPlainText(text, Qt::WhiteSpacePre);
}

}  // namespace qv
