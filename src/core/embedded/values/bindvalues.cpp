#include "core/embedded/values/bindvalues.h"

#include "core/embedded/values/oracleerrors.h"
#include "core/embedded/values/oracleformats.h"

#include <QHash>
#include <QRegularExpression>

#include <variant>
#include <vector>

namespace qv::embedded {

namespace {

using Value = std::variant<std::monostate, QString, int64_t, double>;

// "ORA-01861: literal does not match format string" as the error Oracle raises.
DbError faultError(const char* message) {
    static const QRegularExpression kCode(QStringLiteral("^ORA-(\\d+)"));
    const QString text = QString::fromLatin1(message);
    return oracleError(kCode.match(text).captured(1).toInt(), text);
}

Value valueOf(const BindValue& b) {
    const QString text = b.value.trimmed();
    switch (b.type) {
        case BindType::Null:
            return {};
        case BindType::Varchar2:
            // Oracle keeps a string's blanks; only an empty one is NULL.
            return b.value.isEmpty() ? Value{} : Value{b.value};
        case BindType::Number: {
            if (text.isEmpty())
                return {};
            const std::optional<oracle::Value> n = oracle::numberFromText(text);
            if (!n)
                throw oracleError(1722, QStringLiteral("ORA-01722: invalid number"));
            if (n->kind == oracle::Value::Integer)
                return Value{n->integer};
            // What a NUMBER holds: ORA-01426 beyond its range (1e400 reads as an infinity),
            // zero below it, 15 significant digits, as the engine's arithmetic keeps them.
            try {
                return Value{oracle::decimalReal(n->real)};
            } catch (const oracle::OracleFault& f) {
                throw faultError(f.message.constData());
            }
        }
        case BindType::Date: {
            if (text.isEmpty())
                return {};
            // The date alone, or with its time: the two forms a bind value is typed in.
            const QString format =
                text.size() > 10 ? oracle::kDefaultDateFormat : QStringLiteral("YYYY-MM-DD");
            try {
                return storedDateText(oracle::parseDate(text, format), false);
            } catch (const oracle::OracleFault& f) {
                throw faultError(f.message.constData());
            }
        }
        case BindType::Timestamp: {
            if (text.isEmpty())
                return {};
            const std::optional<StoredDate> d = readStoredDate(text);
            if (!d)
                throw oracleError(
                    1861, QStringLiteral("ORA-01861: literal does not match format string"));
            return storedDateText(*d, true);
        }
    }
    return {};
}

// The values by name without regard to case, the first of a name winning: looked up once per
// placeholder, of which a statement may have 65,535.
QHash<QString, const BindValue*> byName(const BindList& binds) {
    QHash<QString, const BindValue*> named;
    named.reserve(binds.size());
    for (auto it = binds.crbegin(); it != binds.crend(); ++it)
        named.insert(it->name.toCaseFolded(), &*it);
    return named;
}

}  // namespace

void bindValues(sqlite::Statement& stmt, const BindList& binds) {
    // Every value is read before any is bound, so a bad one leaves the statement untouched.
    const int n = stmt.parameterCount();
    std::vector<Value> values;
    values.reserve(size_t(n));
    const QHash<QString, const BindValue*> named = byName(binds);
    for (int i = 1; i <= n; ++i) {
        const QString name = stmt.parameterName(i);
        const BindValue* b =
            name.size() > 1 ? named.value(name.mid(1).toCaseFolded(), nullptr) : nullptr;
        if (!b)
            throw oracleError(1008, QStringLiteral("ORA-01008: not all variables bound"));
        values.push_back(valueOf(*b));
    }
    for (int i = 1; i <= n; ++i) {
        const Value& v = values[size_t(i - 1)];
        if (const auto* text = std::get_if<QString>(&v))
            stmt.bind(i, *text);
        else if (const auto* integer = std::get_if<int64_t>(&v))
            stmt.bind(i, *integer);
        else if (const auto* real = std::get_if<double>(&v))
            stmt.bind(i, *real);
        else
            stmt.bindNull(i);
    }
}

}  // namespace qv::embedded
