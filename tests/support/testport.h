#pragma once

#include "core/window/windowport.h"

#include <QList>
#include <QStringList>

#include <optional>

namespace qv::test {

// The window side of a query window for tests without widgets: an SQL box held as text, and
// the login dialog answered from a queue. Every call is recorded in `events` so tests can check
// order.
class TestPort : public WindowPort {
  public:
    QString sql;
    int caret = 0, selStart = 0, selLength = 0;
    // What the login dialog is typed with, in turn (std::nullopt = cancelled; cancelled when
    // they run out), and the values each dialog was opened with.
    QList<std::optional<LoginValues>> logins;
    QList<LoginValues> loginPresets;
    QStringList messages;  // "<title>|<text>"
    QStringList events;

    QString sqlText() const override { return sql; }
    void setSqlText(const QString& text) override;
    void replaceSqlSelection(const QString& text) override;
    void focusSql() override { events.append(QStringLiteral("focusSql")); }
    void repaintNow() override { events.append(QStringLiteral("repaint")); }
    // Every question is cancelled.
    Answer ask(const QString&) override;
    void showMessage(const QString& text, const QString& title) override;
    void showStatus(const QString& text) override {
        events.append(QStringLiteral("status ") + text);
    }
    bool runLoginDialog(LoginValues& values) override;
    // Confirmations are answered from `confirmations` (No when they run out).
    bool confirm(const QString& text, Answer preset) override;
    QList<bool> confirmations;
    double twipsPerBlank() const override { return 90; }
    // The bind dialog: records what it offered and answers with `binds` (abandoned when none).
    std::optional<BindList> askBinds(const BindList& prefilled) override {
        offeredBinds.append(prefilled);
        return binds;
    }
    std::optional<BindList> binds;
    QList<BindList> offeredBinds;
};

}  // namespace qv::test
