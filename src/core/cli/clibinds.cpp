#include "core/cli/clibinds.h"

#include "core/cli/terminaltext.h"

#include "core/tuning/runbinds.h"
#include "core/tuning/tuningrun.h"

#include <QJsonObject>

namespace qv {

namespace {

// "name=text" as a name without its colon and the text, which may hold '=' itself.
bool splitAssignment(const QString& option, QString& name, QString& text) {
    const qsizetype eq = option.indexOf(u'=');
    name = option.left(eq < 0 ? 0 : eq).trimmed();
    if (name.startsWith(u':'))
        name.remove(0, 1);
    text = option.mid(eq + 1);
    return eq > 0 && !name.isEmpty();
}

BindValue& entry(BindList& binds, const QString& name) {
    for (BindValue& b : binds) {
        if (b.name.compare(name, Qt::CaseInsensitive) == 0)
            return b;
    }
    binds.append(BindValue{name, BindType::Varchar2, {}});
    return binds.last();
}

// The complaint when `name` is among `given` already, as the server would take it: the same
// variable whatever the case of its letters.
std::optional<QString> givenTwice(const char* option, QStringList& given, const QString& name) {
    for (const QString& earlier : given) {
        if (earlier.compare(name, Qt::CaseInsensitive) == 0)
            return QStringLiteral(
                       "%1 names the bind variable :%2 twice (also as :%3); a name "
                       "is the same in either case, so give it once.")
                .arg(QLatin1StringView(option), earlier, name);
    }
    given << name;
    return std::nullopt;
}

}  // namespace

std::optional<QString> readBindOptions(const QStringList& values, const QStringList& types,
                                       BindList& binds) {
    BindList given;
    QStringList valued, typed;  // the names given a value, a type
    QString name, text;
    for (const QString& option : values) {
        if (!splitAssignment(option, name, text))
            return QStringLiteral("--bind takes NAME=VALUE, such as --bind cust_id=42.");
        if (auto twice = givenTwice("--bind", valued, name))
            return twice;
        entry(given, name).value = text;
    }
    for (const QString& option : types) {
        BindType type = BindType::Varchar2;
        if (!splitAssignment(option, name, text) || !bindTypeFromName(text.trimmed(), type))
            return QStringLiteral(
                "--bind-type takes NAME=VARCHAR2, NUMBER, DATE, TIMESTAMP or NULL.");
        if (auto twice = givenTwice("--bind-type", typed, name))
            return twice;
        entry(given, name).type = type;
    }
    // A type alone gives a NULL its value; any other type still waits for one.
    for (const BindValue& b : given) {
        if (b.type == BindType::Null || valued.contains(b.name, Qt::CaseInsensitive))
            binds.append(b);
    }
    return std::nullopt;
}

std::optional<QString> unboundVariable(const QString& sql, const BindList& binds) {
    QString missing;
    bindsForRun(sqlToSend(sql), binds, missing);
    if (missing.isEmpty())
        return std::nullopt;
    return QStringLiteral("The statement's bind variable :%1 has no value: give --bind %1=VALUE.")
        .arg(missing);
}

QJsonArray bindsJson(const BindList& binds) {
    QJsonArray list;
    for (const BindValue& b : binds)
        list.append(QJsonObject{
            {QStringLiteral("name"), b.name},
            {QStringLiteral("type"), bindTypeName(b.type)},
            {QStringLiteral("value"), b.type == BindType::Null ? QJsonValue() : b.value}});
    return list;
}

void printBinds(QTextStream& out, const BindList& binds) {
    if (binds.isEmpty())
        return;
    out << "\n[binds]\n変数\t型\t値\n";
    for (const BindValue& b : binds)
        out << ':' << terminalText(b.name) << '\t' << bindTypeName(b.type) << '\t'
            << terminalText(b.value) << "\n";
}

}  // namespace qv
