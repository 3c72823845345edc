#include "support/testport.h"

using namespace Qt::StringLiterals;

namespace qv::test {

void TestPort::setSqlText(const QString& text) {
    sql = text;
    caret = static_cast<int>(text.size());
    selStart = caret;
    selLength = 0;
    events.append(u"setSqlText"_s);
}

void TestPort::replaceSqlSelection(const QString& text) {
    const int start = selLength > 0 ? selStart : caret;
    sql.replace(start, selLength, text);
    caret = start + static_cast<int>(text.size());
    selStart = caret;
    selLength = 0;
    events.append(u"replaceSqlSelection"_s);
}

void TestPort::focusSql() {
    sqlFocused = true;
    events.append(u"focusSql"_s);
}

void TestPort::repaintNow() {
    events.append(u"repaint"_s);
    if (onRepaint)
        onRepaint();
}

Answer TestPort::ask(const QString& text) {
    questions.append(text);
    events.append(u"ask"_s);
    return answers.isEmpty() ? Answer::Cancel : answers.takeFirst();
}

void TestPort::showMessage(const QString& text, const QString& title) {
    messages.append(title + u"|"_s + text);
    events.append(u"message"_s);
}

bool TestPort::runLoginDialog(LoginValues& values) {
    loginPresets.append(values);
    events.append(u"login"_s);
    if (logins.isEmpty())
        return false;
    const std::optional<LoginValues> typed = logins.takeFirst();
    if (!typed)
        return false;
    values = *typed;
    return true;
}

}  // namespace qv::test
