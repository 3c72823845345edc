#include "support/modalanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>
#include <QRegularExpression>

namespace qv::test {

ModalAnswerer::ModalAnswerer(QList<QMessageBox::StandardButton> answers)
    : answers_(std::move(answers)) {
    connect(&timer_, &QTimer::timeout, this, &ModalAnswerer::poll);
    timer_.start(5);
}

void ModalAnswerer::poll() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box || !box->isVisible())
            continue;
        seen.append(box->windowTitle() + QStringLiteral("|") + box->text());
        formats.append(box->textFormat());
        presets.append(box->defaultButton() ? box->standardButton(box->defaultButton())
                                            : QMessageBox::NoButton);
        QStringList texts;
        for (QMessageBox::StandardButton b :
             {QMessageBox::Ok, QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}) {
            static const QRegularExpression kMnemonic(QStringLiteral(R"(\(&.\)|&)"));
            if (const QAbstractButton* button = box->button(b))
                texts << QString(button->text()).remove(kMnemonic);
        }
        buttons.append(texts.join(u'/'));
        const QMessageBox::StandardButton answer =
            answers_.size() > 1 ? answers_.takeFirst()
                                : (answers_.isEmpty() ? QMessageBox::Ok : answers_.first());
        QAbstractButton* button = box->button(answer);
        if (button)
            button->click();
        else
            box->reject();
    }
}

}  // namespace qv::test
