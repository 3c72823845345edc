#include "oracledriver/scenario.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <map>
#include <mutex>
#include <stdexcept>

namespace oradriver {

namespace {

QString answerKey(const QString& sql, int instance) {
    return instance ? QStringLiteral("@%1 ").arg(instance) + sql : sql;
}

// The size Oracle's driver gives a LOB or LONG column: the largest a SQLULEN of ODBC 2 held.
constexpr SQLULEN kLongSize = 2147483647;

[[noreturn]] void invalid(const QString& path, const QString& what) {
    throw std::runtime_error((path + QStringLiteral(": ") + what).toStdString());
}

Diag diagOf(const QJsonValue& v, const QString& path) {
    const QJsonArray a = v.toArray();
    if (a.size() != 2 || !a[0].isString() || !a[1].isString())
        invalid(path, QStringLiteral("a diagnostic is [SQLSTATE, message]"));
    return oracleError(a[0].toString(), a[1].toString());
}

Value valueOf(const QJsonValue& v) {
    if (v.isNull())
        return std::nullopt;
    if (v.isDouble())
        return QString::number(v.toDouble(), 'g', 17);
    if (v.isObject())  // a long value: {"text": "...", "repeat": n}
        return v[QLatin1String("text")].toString().repeated(v[QLatin1String("repeat")].toInt(1));
    return v.toString();
}

std::shared_ptr<Answer> answerOf(const QJsonObject& o, const QString& path) {
    auto a = std::make_shared<Answer>();
    for (const QJsonValue c : o[QLatin1String("columns")].toArray()) {
        const QJsonArray pair = c.toArray();
        std::optional<Column> column = describeOracleType(pair[0].toString(), pair[1].toString());
        if (!column)
            invalid(path, QStringLiteral("no Oracle type ") + pair[1].toString());
        a->columns.push_back(*column);
    }
    for (const QJsonValue r : o[QLatin1String("rows")].toArray()) {
        Row row;
        for (const QJsonValue v : r.toArray())
            row.push_back(valueOf(v));
        if (row.size() != a->columns.size())
            invalid(path, QStringLiteral("a row of ") + o[QLatin1String("sql")].toString() +
                              QStringLiteral(" does not have a value for each column"));
        a->rows.push_back(std::move(row));
    }
    a->repeatRows = o[QLatin1String("repeatRows")].toInt(1);
    a->rowCount = o[QLatin1String("rowCount")].toInt(0);
    if (o.contains(QLatin1String("error")))
        a->error = diagOf(o[QLatin1String("error")], path);
    if (o.contains(QLatin1String("warning")))
        a->warning = diagOf(o[QLatin1String("warning")], path);
    a->blockUntilCancel = o[QLatin1String("blockUntilCancel")].toBool();
    if (o.contains(QLatin1String("whenScanned")))
        a->whenScanned = answerOf(o[QLatin1String("whenScanned")].toObject(), path);
    return a;
}

}  // namespace

Diag oracleError(const QString& state, const QString& message) {
    static const QRegularExpression number(QStringLiteral("^ORA-(\\d{5})"));
    const QRegularExpressionMatch m = number.match(message);
    if (!m.hasMatch())  // the driver's own
        return Diag{state, 0, QStringLiteral("[Oracle][ODBC]") + message};
    return Diag{state, m.captured(1).toInt(), QStringLiteral("[Oracle][ODBC][Ora]") + message};
}

// As Oracle's driver reports each type (Oracle Database Development Guide 19c, "Using the Oracle
// ODBC Driver": DATE and TIMESTAMP as SQL_TYPE_TIMESTAMP; with the wide API, character types as
// the SQL_W types; NUMBER with a precision as SQL_DECIMAL, without one as SQL_DOUBLE).
std::optional<Column> describeOracleType(const QString& name, const QString& oracleType) {
    static const QRegularExpression form(
        QStringLiteral("^([A-Z0-9_ ]+?)\\s*(?:\\((\\d+)(?:\\s*,\\s*(-?\\d+))?\\))?$"));
    const QRegularExpressionMatch m = form.match(oracleType.trimmed().toUpper());
    if (!m.hasMatch())
        return std::nullopt;
    const QString base = m.captured(1);
    const bool sized = !m.captured(2).isEmpty();
    const SQLULEN n = m.captured(2).toULong();
    const auto digits = SQLSMALLINT(m.captured(3).toInt());
    Column c{name, oracleType};
    if (base == u"NUMBER" && sized) {
        c.sqlType = SQL_DECIMAL, c.size = n, c.digits = digits;
    } else if (base == u"NUMBER" || base == u"FLOAT" || base == u"BINARY_DOUBLE") {
        c.sqlType = SQL_DOUBLE, c.size = 15;
    } else if (base == u"BINARY_FLOAT") {
        c.sqlType = SQL_REAL, c.size = 7;
    } else if (base == u"VARCHAR2" || base == u"NVARCHAR2") {
        c.sqlType = SQL_WVARCHAR, c.size = n;
    } else if (base == u"CHAR" || base == u"NCHAR") {
        c.sqlType = SQL_WCHAR, c.size = sized ? n : 1;
    } else if (base == u"DATE") {
        c.sqlType = SQL_TYPE_TIMESTAMP, c.size = 19;
    } else if (base == u"TIMESTAMP") {
        c.digits = sized ? SQLSMALLINT(n) : 6;
        c.sqlType = SQL_TYPE_TIMESTAMP, c.size = 20 + SQLULEN(c.digits);
    } else if (base == u"CLOB" || base == u"NCLOB" || base == u"LONG") {
        c.sqlType = SQL_WLONGVARCHAR, c.size = kLongSize;
    } else if (base == u"RAW") {
        c.sqlType = SQL_VARBINARY, c.size = n, c.binary = true;
    } else if (base == u"BLOB" || base == u"LONG RAW") {
        c.sqlType = SQL_LONGVARBINARY, c.size = kLongSize, c.binary = true;
    } else {
        return std::nullopt;
    }
    return c;
}

Scenario::Scenario(const QString& path) : path_(path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        invalid(path, file.errorString());
    QJsonParseError error;
    const QJsonObject root = QJsonDocument::fromJson(file.readAll(), &error).object();
    if (error.error != QJsonParseError::NoError)
        invalid(path, error.errorString());
    for (const QJsonValue s : root[QLatin1String("sessions")].toArray())
        sessions_.push_back(
            Session{s[QLatin1String("instance")].toInt(1), s[QLatin1String("sid")].toInt()});
    if (root.contains(QLatin1String("loginWarning")))
        loginWarning_ = diagOf(root[QLatin1String("loginWarning")], path);
    for (const QJsonValue s : root[QLatin1String("statements")].toArray()) {
        const QJsonObject o = s.toObject();
        answers_[answerKey(o[QLatin1String("sql")].toString(),
                           o[QLatin1String("instance")].toInt())]
            .push_back(answerOf(o, path));
    }
    // Another scenario's sessions and answers, for what this one does not write itself.
    if (root.contains(QLatin1String("include"))) {
        const QString name = root[QLatin1String("include")].toString();
        const Scenario base(QFileInfo(path).dir().filePath(name + QStringLiteral(".json")));
        if (sessions_.empty())
            sessions_ = base.sessions_;
        for (auto it = base.answers_.cbegin(); it != base.answers_.cend(); ++it)
            if (!answers_.contains(it.key()))
                answers_.insert(it.key(), it.value());
    }
    if (sessions_.empty())
        invalid(path, QStringLiteral("no sessions"));
}

const Answer* Scenario::answer(const QString& sql, int instance, int occurrence) const {
    auto it = answers_.constFind(answerKey(sql, instance));
    if (it == answers_.cend())
        it = answers_.constFind(sql);
    if (it == answers_.cend())
        return nullptr;
    return it->at(std::min(size_t(occurrence), it->size() - 1)).get();
}

std::shared_ptr<const Scenario> loadScenario(const QString& path) {
    static std::mutex mutex;
    static std::map<QString, std::shared_ptr<const Scenario>> loaded;
    std::lock_guard lock(mutex);
    std::shared_ptr<const Scenario>& s = loaded[path];
    if (!s)
        s = std::make_shared<const Scenario>(path);
    return s;
}

}  // namespace oradriver
