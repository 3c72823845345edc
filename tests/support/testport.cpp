#include "support/testport.h"

using namespace Qt::StringLiterals;

namespace qv::test {

void TestPort::setSqlText(const QString& text) {
    sql = text;
    caret = selStart = static_cast<int>(text.size());
    selLength = 0;
    events.append(u"setSqlText"_s);
}

void TestPort::replaceSqlSelection(const QString& text) {
    const int start = selLength > 0 ? selStart : caret;
    sql.replace(start, selLength, text);
    caret = selStart = start + static_cast<int>(text.size());
    selLength = 0;
    events.append(u"replaceSqlSelection"_s);
}

Answer TestPort::ask(const QString&) {
    events.append(u"ask"_s);
    return Answer::Cancel;
}

void TestPort::showMessage(const QString& text, const QString& title) {
    messages.append(title + u"|"_s + text);
    events.append(u"message"_s);
}

bool TestPort::runLoginDialog(LoginValues& values) {
    loginPresets.append(values);
    events.append(u"login"_s);
    const std::optional<LoginValues> typed = logins.isEmpty() ? std::nullopt : logins.takeFirst();
    if (typed)
        values = *typed;
    return typed.has_value();
}

bool TestPort::confirm(const QString& text, Answer preset) {
    messages.append((preset == Answer::No ? u"confirm(no)|"_s : u"confirm|"_s) + text);
    return !confirmations.isEmpty() && confirmations.takeFirst();
}

}  // namespace qv::test
