#include "support/testrunwindow.h"

namespace qv::test {

TestRunWindow::TestRunWindow() {
    options.maxDispRows = 1000;
}

void TestRunWindow::setEMessage(const QString& mes) {
    eLine = mes;
    shown.append(QStringLiteral("E:") + mes);
}

void TestRunWindow::setQMessage(const QString& mes) {
    qLine = mes;
    shown.append(QStringLiteral("Q:") + mes);
}

void TestRunWindow::setSMessage(const QString& mes) {
    sLine = mes;
    shown.append(QStringLiteral("S:") + mes);
}

void TestRunWindow::setCountLabel(const QString& text) {
    count = text;
    shown.append(QStringLiteral("C:") + text);
}

Answer TestRunWindow::ask(const QString& text) {
    questions.append(text);
    return answers.isEmpty() ? Answer::Cancel : answers.takeFirst();
}

Reply statRows(const QList<QVariantList>& rows) {
    Reply r;
    r.fields = {FieldInfo{QStringLiteral("SID"), dbNumeric, 10},
                FieldInfo{QStringLiteral("STATISTIC#"), dbNumeric, 10},
                FieldInfo{QStringLiteral("VALUE"), dbNumeric, 20},
                FieldInfo{QStringLiteral("STATISTIC#"), dbNumeric, 10},
                FieldInfo{QStringLiteral("NAME"), dbText, 64},
                FieldInfo{QStringLiteral("CLASS"), dbNumeric, 10}};
    for (const QVariantList& s : rows)
        r.rows.append(QVariantList{42, s[0], s[2], s[0], s[1], 1});
    return r;
}

void TestRunWindow::scriptSession(const QString& sid, const QList<QList<QVariantList>>& readings) {
    script->onText(QStringLiteral("select SID from v$session where audsid = userenv('SESSIONID')"),
                   Reply::table({QStringLiteral("SID")}, {{sid}}));
    // Newest rules answer first: add the last reading first.
    for (auto it = readings.crbegin(); it != readings.crend(); ++it)
        script->on(QStringLiteral("SELECT \\*FROM V\\$SESSTAT.*"), statRows(*it), 1);
}

}  // namespace qv::test
