#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace qv::test {

// Answers the modal message boxes a widget test opens: while it lives, every message box that
// appears is recorded ("<title>|<text>") and closed with the next button of `answers` (or the
// last one when they run out). `buttons` records each box's standard buttons as the user reads
// them ("はい/いいえ/キャンセル"), without their keyboard mnemonics.
class ModalAnswerer : public QObject {
  public:
    explicit ModalAnswerer(QList<QMessageBox::StandardButton> answers = {QMessageBox::Ok});

    QStringList seen;
    QStringList buttons;
    QList<Qt::TextFormat> formats;               // how each box takes its text
    QList<QMessageBox::StandardButton> presets;  // the button Enter would have pressed

  private:
    void poll();

    QList<QMessageBox::StandardButton> answers_;
    QTimer timer_;
};

}  // namespace qv::test
