#include "support/testport.h"

namespace qv::test {

void TestPort::setSqlText(const QString& text) {
    sql = text;
    caret = static_cast<int>(text.size());
    selStart = caret;
    selLength = 0;
    events.append(QStringLiteral("setSqlText"));
}

void TestPort::replaceSqlSelection(const QString& text) {
    const int start = selLength > 0 ? selStart : caret;
    sql.replace(start, selLength, text);
    caret = start + static_cast<int>(text.size());
    selStart = caret;
    selLength = 0;
    events.append(QStringLiteral("replaceSqlSelection"));
}

void TestPort::focusSql() {
    sqlFocused = true;
    events.append(QStringLiteral("focusSql"));
}

void TestPort::repaintNow() {
    events.append(QStringLiteral("repaint"));
    if (onRepaint)
        onRepaint();
}

Answer TestPort::ask(const QString& text) {
    questions.append(text);
    events.append(QStringLiteral("ask"));
    return answers.isEmpty() ? Answer::Cancel : answers.takeFirst();
}

void TestPort::showMessage(const QString& text, const QString& title) {
    messages.append(title + QStringLiteral("|") + text);
    events.append(QStringLiteral("message"));
}

bool TestPort::runLoginDialog(LoginValues& values) {
    loginPresets.append(values);
    events.append(QStringLiteral("login"));
    if (logins.isEmpty())
        return false;
    const std::optional<LoginValues> typed = logins.takeFirst();
    if (!typed)
        return false;
    values = *typed;
    return true;
}

}  // namespace qv::test
