#include "core/db/bindvalue.h"

#include <QRegularExpression>

namespace qv {

namespace {
struct Named {
    BindType type;
    const char* name;
};
constexpr Named kNames[] = {{BindType::Varchar2, "VARCHAR2"},
                            {BindType::Number, "NUMBER"},
                            {BindType::Date, "DATE"},
                            {BindType::Timestamp, "TIMESTAMP"},
                            {BindType::Null, "NULL"}};
}  // namespace

QString bindTypeName(BindType type) {
    for (const Named& n : kNames) {
        if (n.type == type)
            return QString::fromLatin1(n.name);
    }
    return QString();
}

bool bindTypeFromName(const QString& name, BindType& type) {
    for (const Named& n : kNames) {
        if (name.compare(QLatin1StringView(n.name), Qt::CaseInsensitive) == 0) {
            type = n.type;
            return true;
        }
    }
    return false;
}

const BindValue* findBind(const BindList& binds, const QString& name) {
    for (const BindValue& b : binds) {
        if (b.name.compare(name, Qt::CaseInsensitive) == 0)
            return &b;
    }
    return nullptr;
}

DbError notAllBoundError(const QString& name) {
    return DbError(kErrOdbcCall,
                   QStringLiteral("ORA-01008: not all variables bound (:") + name + u')');
}

std::optional<DecimalText> decimalOf(const QString& value) {
    static const QRegularExpression kNumber(
        QStringLiteral(R"(^\s*([+-]?)(\d*)(?:\.(\d*))?(?:[eE]([+-]?\d{1,3}))?\s*$)"));
    const QRegularExpressionMatch m = kNumber.match(value);
    if (!m.hasMatch() || m.capturedLength(2) + m.capturedLength(3) == 0)
        return std::nullopt;
    // All the digits and where the point stands among them, moved by the exponent.
    QString digits = m.captured(2) + m.captured(3);
    qsizetype point = m.capturedLength(2) + m.captured(4).toInt();
    if (point < 0) {
        digits.prepend(QString(-point, u'0'));
        point = 0;
    } else if (point > digits.size()) {
        digits.append(QString(point - digits.size(), u'0'));
    }
    QString whole = digits.left(point), fraction = digits.mid(point);
    while (whole.size() > 1 && whole.front() == u'0')
        whole.remove(0, 1);
    if (whole.isEmpty())
        whole = QStringLiteral("0");
    while (fraction.endsWith(u'0'))
        fraction.chop(1);
    DecimalText d;
    const bool zero = whole == u"0" && fraction.isEmpty();
    d.text = (m.captured(1) == u"-" && !zero ? QStringLiteral("-") : QString()) + whole +
             (fraction.isEmpty() ? QString() : u'.' + fraction);
    d.scale = int(fraction.size());
    d.precision =
        int(whole == u"0" ? qMax<qsizetype>(fraction.size(), 1) : whole.size() + fraction.size());
    return d;
}

QDateTime dateTimeOf(const QString& value) {
    const QStringList parts = value.trimmed().split(u' ', Qt::SkipEmptyParts);
    if (parts.isEmpty() || parts.size() > 2)
        return QDateTime();
    const QDate date = QDate::fromString(parts[0], QStringLiteral("yyyy-MM-dd"));
    QTime time(0, 0);
    if (parts.size() == 2) {
        time = QTime::fromString(parts[1], QStringLiteral("HH:mm:ss"));
        if (!time.isValid())
            time = QTime::fromString(parts[1], QStringLiteral("HH:mm"));
    }
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    // UTC: every date and time as typed exists there, whatever the local clock skips.
    return QDateTime(date, time, Qt::UTC);
}

TimestampText timestampOf(const QString& value) {
    static const QRegularExpression kFraction(QStringLiteral(R"(^(.*:\d\d)\.(\d{1,9})\s*$)"));
    TimestampText t;
    const QRegularExpressionMatch m = kFraction.match(value);
    t.dateTime = dateTimeOf(m.hasMatch() ? m.captured(1) : value);
    if (m.hasMatch() && t.dateTime.isValid()) {
        t.fractionDigits = int(m.capturedLength(2));
        t.nanos = m.captured(2).leftJustified(9, u'0').toInt();
    }
    return t;
}

}  // namespace qv
