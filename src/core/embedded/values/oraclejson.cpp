// Oracle's SQL/JSON functions on JSON text (oraclejson.h).
#include "core/embedded/values/oraclejson.h"

#include "core/embedded/values/sqlfunctions.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <optional>
#include <vector>

namespace qv::embedded {

namespace {

using oracle::rawText;
using oracle::resultText;

std::optional<QJsonValue> parsed(sqlite3_value* arg) {
    const QByteArray text = rawText(arg).toUtf8();
    QJsonParseError error;
    // A scalar alone is JSON too; wrapped, Qt reads it.
    const QJsonDocument doc = QJsonDocument::fromJson("[" + text + "]", &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray() || doc.array().size() != 1)
        return std::nullopt;
    return doc.array().first();
}

// What `path` finds in `root`; nullopt for a path that is not one.
std::optional<std::vector<QJsonValue>> follow(const QJsonValue& root, const QString& path) {
    const QString p = path.trimmed();
    if (!p.startsWith(u'$'))
        return std::nullopt;
    std::vector<QJsonValue> at{root};
    qsizetype i = 1;
    while (i < p.size()) {
        std::vector<QJsonValue> next;
        if (p[i] == u'.') {
            ++i;
            QString key;
            if (i < p.size() && p[i] == u'"') {
                const qsizetype close = p.indexOf(u'"', i + 1);
                if (close < 0)
                    return std::nullopt;
                key = p.mid(i + 1, close - i - 1);
                i = close + 1;
            } else if (i < p.size() && p[i] == u'*') {
                ++i;
                for (const QJsonValue& v : at) {
                    for (const QJsonValue& member : v.toObject())
                        next.push_back(member);
                }
                at = std::move(next);
                continue;
            } else {
                const qsizetype start = i;
                while (i < p.size() && (p[i].isLetterOrNumber() || p[i] == u'_' || p[i] == u'$'))
                    ++i;
                key = p.mid(start, i - start);
            }
            if (key.isEmpty())
                return std::nullopt;
            for (const QJsonValue& v : at) {
                if (v.isObject() && v.toObject().contains(key))
                    next.push_back(v.toObject().value(key));
            }
        } else if (p[i] == u'[') {
            const qsizetype close = p.indexOf(u']', i);
            if (close < 0)
                return std::nullopt;
            const QString inside = p.mid(i + 1, close - i - 1).trimmed();
            i = close + 1;
            for (const QJsonValue& v : at) {
                const QJsonArray array = v.isArray() ? v.toArray() : QJsonArray{v};
                if (inside == u"*") {
                    for (const QJsonValue& item : array)
                        next.push_back(item);
                    continue;
                }
                for (const QString& part : inside.split(u',')) {
                    const QStringList range = part.trimmed().split(QStringLiteral(" to "));
                    bool ok1 = false, ok2 = true;
                    const int from = range.first().trimmed().toInt(&ok1);
                    const int to = range.size() > 1 ? range.last().trimmed().toInt(&ok2) : from;
                    if (!ok1 || !ok2)
                        return std::nullopt;
                    for (int k = from; k <= to && k < array.size(); ++k)
                        next.push_back(array.at(k));
                }
            }
        } else if (p[i].isSpace()) {
            ++i;
            continue;
        } else {
            return std::nullopt;
        }
        at = std::move(next);
    }
    return at;
}

void isJson(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    sqlite3_result_int(ctx, parsed(argv[1]) ? 1 : 0);
}

std::optional<std::vector<QJsonValue>> found(sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return std::nullopt;
    const std::optional<QJsonValue> root = parsed(argv[0]);
    if (!root)
        return std::nullopt;
    return follow(*root, rawText(argv[1]));
}

QString jsonText(const QJsonValue& v) {
    const QByteArray wrapped = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(wrapped.mid(1, wrapped.size() - 2));
}

// What an ON ERROR or ON EMPTY clause asks for: 0 NULL, 1 ERROR, 2 DEFAULT (its value in the
// argument after), -1 (ON EMPTY not written) as ON ERROR says.
struct OnClause {
    int mode = 0;
    sqlite3_value* fallback = nullptr;
};

OnClause onClause(int argc, sqlite3_value** argv, int at) {
    if (argc <= at + 1)
        return {};
    return {sqlite3_value_int(argv[at]), argv[at + 1]};
}

// The call's answer when it finds nothing or fails: NULL, Oracle's error, or the DEFAULT value.
void failed(sqlite3_context* ctx, const OnClause& on, const char* error) {
    if (on.mode == 1)
        oracle::fault(error);
    if (on.mode == 2)
        return sqlite3_result_value(ctx, on.fallback);
    sqlite3_result_null(ctx);
}

// The scalar `v` as RETURNING `type` has it: 'N' NUMBER, 'D' DATE, 'T' TIMESTAMP, else
// VARCHAR2 (a number as JSON writes it), 'V20' of at most 20 bytes; false when it does not
// convert.
bool returned(sqlite3_context* ctx, const QJsonValue& v, const QString& type) {
    const QString text = v.isDouble() ? jsonText(v)
                         : v.isBool()
                             ? (v.toBool() ? QStringLiteral("true") : QStringLiteral("false"))
                             : v.toString();
    if (type == u"N") {
        const std::optional<oracle::Value> n = oracle::numberFromText(text);
        if (!n || v.isBool())
            return false;
        oracle::resultNumber(ctx, *n);
        return true;
    }
    if (type == u"D" || type == u"T") {
        const std::optional<StoredDate> d = v.isString() ? readStoredDate(text) : std::nullopt;
        if (!d)
            return false;
        oracle::resultDate(ctx, *d, type == u"T");
        return true;
    }
    if (type.size() > 1 && text.toUtf8().size() > type.mid(1).toLongLong())
        return false;
    resultText(ctx, text);
    return true;
}

// qv_json_value(x, path [, type, on error, its default, on empty, its default]).
void jsonValue(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    const QString type = argc > 2 ? rawText(argv[2]) : QString();
    const OnClause onError = onClause(argc, argv, 3);
    OnClause onEmpty = onClause(argc, argv, 5);
    if (onEmpty.mode < 0)
        onEmpty = onError;
    const std::optional<QJsonValue> root = parsed(argv[0]);
    if (!root)
        return failed(ctx, onError, "ORA-40441: JSON syntax error");
    const auto values = follow(*root, rawText(argv[1]));
    if (!values || values->empty())
        return failed(ctx, onEmpty, "ORA-40462: JSON_VALUE evaluated to no value");
    if (values->size() > 1)
        return failed(ctx, onError, "ORA-40470: JSON_VALUE evaluated to multiple values");
    const QJsonValue& v = values->front();
    if (v.isNull())
        return sqlite3_result_null(ctx);
    if (v.isObject() || v.isArray())
        return failed(ctx, onError, "ORA-40456: JSON_VALUE evaluated to non-scalar value");
    if (returned(ctx, v, type))
        return;
    if (type.startsWith(u'V'))
        return failed(ctx, onError,
                      QStringLiteral("ORA-40478: output value too large (maximum: %1)")
                          .arg(type.mid(1))
                          .toUtf8()
                          .constData());
    failed(ctx, onError,
           type == u"N" ? "ORA-01722: invalid number"
                        : "ORA-01861: literal does not match format string");
}

// qv_json_query(x, path, wrapper [, on error, its default]).
void jsonQuery(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    const OnClause onError = onClause(argc, argv, 3);
    const std::optional<QJsonValue> root = parsed(argv[0]);
    if (!root)
        return failed(ctx, onError, "ORA-40441: JSON syntax error");
    const auto values = follow(*root, rawText(argv[1]));
    if (!values || values->empty())
        return failed(ctx, onError, "ORA-40462: JSON_VALUE evaluated to no value");
    if (sqlite3_value_int(argv[2]) != 0) {
        QJsonArray all;
        for (const QJsonValue& v : *values)
            all.append(v);
        return resultText(ctx, jsonText(all));
    }
    if (values->size() != 1 || !(values->front().isObject() || values->front().isArray()))
        return failed(ctx, onError, "ORA-40480: result cannot be returned without array wrapper");
    resultText(ctx, jsonText(values->front()));
}

void jsonExists(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const auto values = found(argv);
    sqlite3_result_int(ctx, values && !values->empty() ? 1 : 0);
}

const oracle::FunctionSpec kJsonFunctions[] = {
    {"match", 2, 2, oracle::guarded<isJson>},
    {"qv_json_value", 2, 7, oracle::guarded<jsonValue>},
    {"qv_json_query", 3, 5, oracle::guarded<jsonQuery>},
    {"qv_json_exists", 2, 2, oracle::guarded<jsonExists>},
};

}  // namespace

int registerJsonFunctions(sqlite3* db) {
    return oracle::registerFunctions(db, kJsonFunctions);
}

}  // namespace qv::embedded
