// Oracle's numbers: reading them from text, their decimal digits, TO_CHAR without a format
// and with a number format model.
#include "core/embedded/values/oracleformats.h"

#include <QDate>
#include <QRegularExpression>
#include <QStringList>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace qv::embedded::oracle {

std::optional<Value> numberFromText(const QString& raw) {
    static const QRegularExpression kNumber(
        QStringLiteral(R"(^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$)"));
    const QString text = raw.trimmed();
    if (!kNumber.match(text).hasMatch())
        return std::nullopt;
    Value v;
    bool ok = false;
    if (!text.contains(u'.') && !text.contains(u'e') && !text.contains(u'E')) {
        v.integer = text.toLongLong(&ok);
        if (ok) {
            v.kind = Value::Integer;
            return v;
        }
    }
    v.kind = Value::Real;
    v.real = text.toDouble(&ok);
    return v;
}

Decimal trimmed(Decimal d) {
    while (d.digits.endsWith('0'))
        d.digits.chop(1);
    if (d.digits.isEmpty())
        return {};
    return d;
}

Decimal decimalOf(const Value& v) {
    Decimal d;
    if (v.kind == Value::Integer) {
        d.negative = v.integer < 0;
        const uint64_t magnitude = d.negative ? 0 - uint64_t(v.integer) : uint64_t(v.integer);
        if (magnitude == 0)
            return {};
        d.digits = QByteArray::number(quint64(magnitude));
        d.point = int(d.digits.size());
        return trimmed(d);
    }
    const double x = v.number();
    if (x == 0 || !std::isfinite(x))
        return {};
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(x));
    const char* e = std::strchr(buffer, 'e');
    for (const char* p = buffer; p < e; ++p) {
        if (*p != '.')
            d.digits += *p;
    }
    d.negative = x < 0;
    d.point = std::atoi(e + 1) + 1;
    return trimmed(d);
}

Decimal rounded(Decimal d, int places) {
    const int keep = d.point + places;
    if (keep >= d.digits.size())
        return d;
    if (keep < 0)
        return {};
    const bool up = d.digits[keep] >= '5';
    d.digits.truncate(keep);
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[i] == '9')
            d.digits[i--] = '0';
        if (i < 0) {
            d.digits.prepend('1');
            ++d.point;
        } else {
            d.digits[i] = char(d.digits[i] + 1);
        }
    }
    return trimmed(d);
}

double decimalReal(double x) {
    // Beyond NUMBER's range: 38 digits up to 10^126, nothing below 10^-130.
    constexpr double kLargest = 1e126;
    constexpr double kSmallest = 1e-130;
    if (!(std::fabs(x) < kLargest))
        overflow();
    if (std::fabs(x) < kSmallest)
        return 0;
    char digits[32];
    const auto written =
        std::to_chars(digits, digits + sizeof digits, x, std::chars_format::scientific, 14);
    double decimal = x;
    std::from_chars(digits, written.ptr, decimal);
    return decimal;
}

void outOfRange(const QString& argument) {
    fault(QStringLiteral("ORA-01428: argument '%1' is out of range").arg(argument));
}

Decimal truncated(Decimal d, int places) {
    const int keep = d.point + places;
    if (keep >= d.digits.size())
        return d;
    if (keep <= 0)
        return {};
    d.digits.truncate(keep);
    return trimmed(d);
}

static QByteArray integerDigits(const Decimal& d) {
    if (d.point <= 0)
        return {};
    return d.digits.left(d.point).leftJustified(d.point, '0');
}

static QByteArray fractionDigits(const Decimal& d) {
    if (d.point >= d.digits.size())
        return {};
    if (d.point < 0)
        return QByteArray(-d.point, '0') + d.digits;
    return d.digits.mid(d.point);
}

static QString plainText(const Decimal& d) {
    if (d.isZero())
        return QStringLiteral("0");
    QString s = d.negative ? QStringLiteral("-") : QString();
    s += QString::fromLatin1(integerDigits(d));
    const QByteArray fraction = fractionDigits(d);
    if (!fraction.isEmpty())
        s += u'.' + QString::fromLatin1(fraction);
    return s;
}

// TO_CHAR(n) without a format: no trailing zeros, no zero before the point (.5), and the
// scientific form only for numbers too long to write out.
QString numberText(const Value& v) {
    if (v.kind == Value::Integer)
        return QString::number(v.integer);
    // What a file written elsewhere may hold; Oracle's BINARY_DOUBLE shows these so.
    if (std::isnan(v.real))
        return QStringLiteral("Nan");
    if (std::isinf(v.real))
        return v.real < 0 ? QStringLiteral("-Inf") : QStringLiteral("Inf");
    const Decimal d = decimalOf(v);
    if (d.point <= 40 && d.point >= -38)
        return plainText(d);
    QString s = d.negative ? QStringLiteral("-") : QString();
    s += QChar(d.digits[0]);
    if (d.digits.size() > 1)
        s += u'.' + QString::fromLatin1(d.digits.mid(1));
    const int exponent = d.point - 1;
    return s + QStringLiteral("E%1%2")
                   .arg(QChar(exponent < 0 ? u'-' : u'+'))
                   .arg(std::abs(exponent), 2, 10, QChar(u'0'));
}

Value numberValue(const Decimal& d) {
    Value v;
    bool ok = false;
    const QString text = plainText(d);
    if (fractionDigits(d).isEmpty()) {
        v.integer = text.toLongLong(&ok);
        if (ok) {
            v.kind = Value::Integer;
            return v;
        }
    }
    v.kind = Value::Real;
    v.real = text.toDouble();
    return v;
}

// ---- Number format models ----

[[noreturn]] static void badNumberFormat() {
    fault("ORA-01481: invalid number format model");
}

namespace {

// A number format model read: where the digits, separators and signs go.
struct NumberModel {
    bool fm = false;  // fill mode: no padding blanks, no trailing zeros that 9s stand for
    bool dollar = false, leadingSign = false, trailingSign = false, minus = false;
    bool brackets = false, scientific = false, point = false;
    int intDigits = 0, fracDigits = 0, firstZero = -1;
    QList<int> groups;  // how many integer digits come before each separator
    QString fracKinds;  // '9' or '0' for each fraction digit
};

// `f` (upper case, FM taken off) read; badNumberFormat() for a model Oracle refuses.
NumberModel readNumberModel(const QString& f, bool fm) {
    NumberModel m;
    m.fm = fm;
    int i = 0;
    const int n = int(f.size());
    if (i < n && f[i] == u'S') {
        m.leadingSign = true;
        ++i;
    }
    while (i < n) {
        const QChar c = f[i];
        const QStringView rest = QStringView(f).mid(i);
        if (c == u'9' || c == u'0') {
            if (m.scientific)
                badNumberFormat();
            if (m.point) {
                m.fracKinds += c;
                ++m.fracDigits;
            } else {
                if (c == u'0' && m.firstZero < 0)
                    m.firstZero = m.intDigits;
                ++m.intDigits;
            }
            ++i;
        } else if (c == u',' || c == u'G') {
            if (m.point || m.scientific)
                badNumberFormat();
            m.groups << m.intDigits;
            ++i;
        } else if (c == u'.' || c == u'D') {
            if (m.point || m.scientific)
                badNumberFormat();
            m.point = true;
            ++i;
        } else if (c == u'$' && !m.scientific) {
            m.dollar = true;
            ++i;
        } else if (rest.startsWith(u"EEEE") && !m.scientific) {
            m.scientific = true;
            i += 4;
        } else if (rest == u"MI") {
            m.minus = true;
            i = n;
        } else if (rest == u"PR") {
            m.brackets = true;
            i = n;
        } else if (rest == u"S" && !m.leadingSign) {
            m.trailingSign = true;
            i = n;
        } else {
            badNumberFormat();
        }
    }
    if (m.intDigits + m.fracDigits == 0)
        badNumberFormat();
    return m;
}

// The digits of `d` in scientific notation (9.99EEEE): `lead` gets the blanks before them.
QString scientificDigits(Decimal& d, const NumberModel& m, QString& lead) {
    int exponent = 0;
    if (!d.isZero()) {
        exponent = d.point - 1;
        d.point = 1;
        d = rounded(d, m.fracDigits);
        if (d.point == 2) {
            ++exponent;
            d.point = 1;
        }
    }
    lead = QString(qMax(0, m.intDigits - 1), u' ');
    QString body = d.isZero() ? QStringLiteral("0") : QString(QChar(d.digits[0]));
    if (m.point)
        body += u'.' + QString::fromLatin1(fractionDigits(d).leftJustified(m.fracDigits, '0'));
    return body + QStringLiteral("E%1%2")
                      .arg(QChar(exponent < 0 ? u'-' : u'+'))
                      .arg(std::abs(exponent), 2, 10, QChar(u'0'));
}

// The digits of `d` in the model's places, with group separators: `lead` gets the blanks for
// places left empty. Empty when the number has more integer digits than the model.
std::optional<QString> fixedDigits(Decimal& d, const NumberModel& m, QString& lead) {
    d = rounded(d, m.fracDigits);
    const QByteArray whole = integerDigits(d);
    if (whole.size() > m.intDigits)
        return std::nullopt;
    int firstShown = m.intDigits - int(whole.size());
    if (m.firstZero >= 0)
        firstShown = qMin(firstShown, m.firstZero);
    // With no fraction to show, zero is written as 0 rather than as nothing.
    if (whole.isEmpty() && m.fracDigits == 0 && m.intDigits > 0)
        firstShown = qMin(firstShown, m.intDigits - 1);
    const QByteArray padded = QByteArray(m.intDigits - whole.size(), '0') + whole;
    QString body;
    for (int p = 0; p <= m.intDigits; ++p) {
        for (int g : m.groups) {
            if (g != p)
                continue;
            if (p > firstShown && p > 0)
                body += u',';
            else
                lead += u' ';
        }
        if (p == m.intDigits)
            break;
        if (p >= firstShown)
            body += QChar(padded[p]);
        else
            lead += u' ';
    }
    if (m.point) {
        QString fraction = QString::fromLatin1(fractionDigits(d).leftJustified(m.fracDigits, '0'));
        // Fill mode drops the trailing zeros that 9s stand for (and may leave "1.").
        for (int k = m.fracDigits - 1;
             m.fm && k >= 0 && m.fracKinds[k] == u'9' && fraction[k] == u'0'; --k)
            fraction.chop(1);
        body += u'.' + fraction;
    }
    return body;
}

// The digits with the sign where the model puts it.
QString placeSign(const NumberModel& m, const QString& lead, QString body, bool negative) {
    if (m.dollar)
        body.prepend(u'$');
    QString out;
    if (m.leadingSign)
        out = lead + (negative ? u'-' : u'+') + body;
    else if (m.trailingSign)
        out = lead + body + (negative ? u'-' : u'+');
    else if (m.minus)
        out = lead + body + (negative ? u'-' : u' ');
    else if (m.brackets)
        out = lead + (negative ? u'<' + body + u'>' : u' ' + body + u' ');
    else
        out = lead + (negative ? u'-' : u' ') + body;
    return m.fm ? out.trimmed() : out;
}

}  // namespace

QString formatNumber(const Value& v, const QString& model) {
    QString f = model.toUpper();
    const bool fm = f.startsWith(u"FM");
    if (fm)
        f = f.mid(2);
    if (f == u"TM" || f == u"TM9" || f == u"TME")
        return numberText(v);
    const NumberModel m = readNumberModel(f, fm);
    Decimal d = decimalOf(v);
    QString lead;  // blanks for positions left empty
    QString body;
    if (m.scientific) {
        body = scientificDigits(d, m, lead);
    } else if (const auto digits = fixedDigits(d, m, lead)) {
        body = *digits;
    } else {
        return QString(int(f.size()) + 1, u'#');
    }
    return placeSign(m, lead, body, d.negative && !d.isZero());
}

}  // namespace qv::embedded::oracle
