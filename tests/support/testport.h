#pragma once

#include "core/window/windowport.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace qv::test {

// The window side of a query window for tests without widgets: an SQL box held as text, and
// dialogs answered from queues. Every call is recorded in `events` so tests can check order.
class TestPort : public WindowPort {
  public:
    QString sql;
    int caret = 0;
    int selStart = 0;
    int selLength = 0;
    bool sqlFocused = false;

    // Login dialog answers: the values typed (std::nullopt = cancelled). The presets each
    // call received are kept in `loginPresets`.
    QList<std::optional<LoginValues>> logins;
    QList<LoginValues> loginPresets;
    // Answers to the Yes/No/Cancel question, in order; Cancel when they run out.
    QList<Answer> answers;
    QStringList questions;
    // Message boxes shown, as "<title>|<text>".
    QStringList messages;
    QStringList events;
    // Called at each immediate repaint (to look at the state at that moment).
    std::function<void()> onRepaint;
    // Twips per blank of the window's font.
    int twipsPerBlank = 90;

    QString sqlText() const override { return sql; }
    void setSqlText(const QString& text) override;
    void replaceSqlSelection(const QString& text) override;
    void focusSql() override;
    void repaintNow() override;
    Answer ask(const QString& text) override;
    void showMessage(const QString& text, const QString& title) override;
    bool runLoginDialog(LoginValues& values) override;
    int blankWidthTwips(int count) const override { return count * twipsPerBlank; }
};

}  // namespace qv::test
