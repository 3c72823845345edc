#include "support/bindanswerer.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>
#include <QTimer>

namespace qv::test {

QStringList bindLines(const BindDialog& d) {
    QStringList out;
    for (int row = 0; row < d.table()->rowCount(); ++row) {
        const QLineEdit* value = d.valueEdit(row);
        out << d.table()->item(row, 0)->text() + u' ' + d.typeBox(row)->currentText() + u' ' +
                   (value->isEnabled() ? value->text() : u'[' + value->text() + u']');
    }
    return out;
}

BindAnswerer::BindAnswerer() {
    qApp->installEventFilter(this);
}

bool BindAnswerer::eventFilter(QObject* watched, QEvent* event) {
    auto* d = qobject_cast<BindDialog*>(watched);
    if (d && event->type() == QEvent::Show) {
        offered = bindLines(*d);
        // Not from inside show(): the dialog's loop must be running to end.
        QTimer::singleShot(0, d, [this, d] {
            if (answer)
                answer(*d);
        });
    }
    return false;
}

}  // namespace qv::test
