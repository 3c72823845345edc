// Oracle's functions of characters and bytes, in the database character set AL32UTF8 (a
// character's code is its UTF-8 bytes read as one number): CHR, ASCII, INITCAP, DUMP, and the
// package functions an install script calls in SQL, UTL_RAW.CAST_TO_RAW and CAST_TO_VARCHAR2,
// DBMS_LOB.SUBSTR, GETLENGTH and INSTR (the translation writes a call pkg.fn(...) as
// "pkg.fn"(...), the name these are registered under).
#include "core/embedded/values/sqlfunctions.h"

#include <QStringList>

#include <cmath>
#include <string>

namespace qv::embedded::oracle {

namespace {

// The whole-number argument `i`; nullopt for NULL.
std::optional<int64_t> wholeArgument(sqlite3_value* arg) {
    const std::optional<Value> v = numberArgument(arg);
    if (!v)
        return std::nullopt;
    const double x = std::trunc(v->number());
    if (!(std::fabs(x) < 9e18))
        overflow();
    return int64_t(x);
}

// CHR(n): the character whose AL32UTF8 bytes read as the number n.
void chr(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const std::optional<int64_t> n = wholeArgument(argv[0]);
    if (!n)
        return sqlite3_result_null(ctx);
    if (*n < 0 || *n > 0xFFFFFFFFLL)
        overflow();
    std::string bytes;
    for (int64_t rest = *n; rest > 0 || bytes.empty(); rest >>= 8)
        bytes.insert(bytes.begin(), char(rest & 0xFF));
    sqlite3_result_text64(ctx, bytes.data(), bytes.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// CHR(n USING NCHAR_CS) (qv_nchr): the character whose AL16UTF16 code unit is n.
void nchr(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const std::optional<int64_t> n = wholeArgument(argv[0]);
    if (!n)
        return sqlite3_result_null(ctx);
    if (*n < 0 || *n > 0xFFFF)
        overflow();
    resultText(ctx, QString(QChar(char16_t(*n))));
}

// ASCII(c): the code of c's first character.
void ascii(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const std::optional<QString> text = textArgument(argv[0]);
    if (!text)
        return sqlite3_result_null(ctx);
    const QByteArray first =
        QString::fromStdU32String(text->toStdU32String().substr(0, 1)).toUtf8();
    int64_t code = 0;
    for (const char byte : first)
        code = code * 256 + static_cast<unsigned char>(byte);
    sqlite3_result_int64(ctx, code);
}

// INITCAP(c): each word's first letter in upper case, the others in lower case; words are
// delimited by anything not a letter or a digit.
void initcap(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const std::optional<QString> text = textArgument(argv[0]);
    if (!text)
        return sqlite3_result_null(ctx);
    QString out = text->toLower();
    bool start = true;
    for (QChar& c : out) {
        if (start && c.isLetter())
            c = c.toUpper();
        start = !c.isLetterOrNumber();
    }
    resultText(ctx, out);
}

// A NUMBER's bytes as Oracle keeps them: an exponent byte (base 100, with the sign), then the
// base-100 digits each plus one (a negative number's as 101 minus the digit, ended by 102).
QByteArray numberBytes(const Value& v) {
    Decimal d = decimalOf(v);
    if (d.isZero())
        return QByteArray(1, char(128));
    if (d.point % 2 != 0) {
        d.digits.prepend('0');
        ++d.point;
    }
    if (d.digits.size() % 2 != 0)
        d.digits.append('0');
    const int exponent = 192 + d.point / 2;
    QByteArray bytes(1, char(d.negative ? 255 - exponent : exponent));
    for (qsizetype k = 0; k < d.digits.size(); k += 2) {
        const int digit = (d.digits[k] - '0') * 10 + (d.digits[k + 1] - '0');
        bytes.append(char(d.negative ? 101 - digit : digit + 1));
    }
    if (d.negative && bytes.size() < 21)
        bytes.append(char(102));
    return bytes;
}

// A DATE's seven bytes (century and year plus 100, month, day, hour, minute and second plus
// one); a TIMESTAMP's adds its nanoseconds in four.
QByteArray dateBytes(const StoredDate& d) {
    const QDate date = QDate::fromJulianDay(d.days);
    QByteArray bytes;
    for (const int part :
         {date.year() / 100 + 100, date.year() % 100 + 100, date.month(), date.day(),
          int(d.seconds / 3600) + 1, int(d.seconds / 60 % 60) + 1, int(d.seconds % 60) + 1})
        bytes.append(char(part));
    if (d.nanos != 0) {
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.append(char((d.nanos >> shift) & 0xFF));
    }
    return bytes;
}

// DUMP(expr [, fmt [, start [, length]]]): 'Typ=n Len=n: b,b,...'. `literal`: expr is a text
// literal, Oracle's CHAR (Typ=96) rather than VARCHAR2 (Typ=1).
template <bool Literal>
void dump(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    int type = 1;
    QByteArray bytes;
    switch (sqlite3_value_type(argv[0])) {
        case SQLITE_NULL:
            return sqlite3_result_null(ctx);
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            type = 2;
            bytes = numberBytes(valueOf(argv[0]));
            break;
        case SQLITE_BLOB:
            type = 23;
            bytes = QByteArray(static_cast<const char*>(sqlite3_value_blob(argv[0])),
                               sqlite3_value_bytes(argv[0]));
            break;
        default: {
            const std::string_view text = utf8Of(argv[0]);
            bytes = QByteArray(text.data(), qsizetype(text.size()));
            const std::optional<StoredDate> date =
                Literal ? std::nullopt : readStoredDate(QString::fromUtf8(bytes));
            const auto interval =
                Literal || date ? std::nullopt : intervalBytes(QString::fromUtf8(bytes));
            if (date) {
                type = date->nanos ? 180 : 12;
                bytes = dateBytes(*date);
            } else if (interval) {
                type = interval->first;
                bytes = interval->second;
            } else if (Literal) {
                type = 96;
            }
        }
    }
    const int64_t format = argc > 1 ? wholeArgument(argv[1]).value_or(10) : 10;
    const int64_t base = format % 1000;
    int64_t start = argc > 2 ? wholeArgument(argv[2]).value_or(1) : 1;
    if (start < 0)
        start = std::max<int64_t>(bytes.size() + start + 1, 1);
    start = std::max<int64_t>(start, 1);
    const int64_t count = argc > 3 ? wholeArgument(argv[3]).value_or(bytes.size()) : bytes.size();
    QStringList shown;
    for (int64_t k = start - 1; k < bytes.size() && k < start - 1 + std::max<int64_t>(count, 0);
         ++k) {
        const auto byte = static_cast<unsigned char>(bytes[qsizetype(k)]);
        if (base == 8)
            shown << QString::number(byte, 8);
        else if (base == 16)
            shown << QString::number(byte, 16);
        else if (base == 17)
            shown << (byte > 32 && byte < 127 ? QString(QChar(byte)) : QString::number(byte, 16));
        else
            shown << QString::number(byte);
    }
    const bool characters = type == 1 || type == 96;
    resultText(ctx, QStringLiteral("Typ=%1 Len=%2%3: %4")
                        .arg(type)
                        .arg(bytes.size())
                        .arg(format >= 1000 && characters ? QStringLiteral(" CharacterSet=AL32UTF8")
                                                          : QString())
                        .arg(shown.join(u',')));
}

// A RAW argument: bytes as they are, text read as hex digits (Oracle's HEXTORAW); nullopt for
// NULL.
std::optional<QByteArray> rawArgument(sqlite3_value* arg) {
    switch (sqlite3_value_type(arg)) {
        case SQLITE_NULL:
            return std::nullopt;
        case SQLITE_BLOB:
            return QByteArray(static_cast<const char*>(sqlite3_value_blob(arg)),
                              sqlite3_value_bytes(arg));
        default: {
            const QByteArray hex = rawText(arg).toLatin1();
            if (hex.size() % 2 != 0 ||
                !std::all_of(hex.begin(), hex.end(), [](char c) { return std::isxdigit(c); }))
                fault("ORA-01465: invalid hex number");
            return QByteArray::fromHex(hex);
        }
    }
}

void castToRaw(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const std::optional<QString> text = textArgument(argv[0]);
    if (!text)
        return sqlite3_result_null(ctx);
    const QByteArray bytes = text->toUtf8();
    sqlite3_result_blob64(ctx, bytes.constData(), sqlite3_uint64(bytes.size()), SQLITE_TRANSIENT);
}

void castToVarchar2(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const std::optional<QByteArray> bytes = rawArgument(argv[0]);
    if (!bytes)
        return sqlite3_result_null(ctx);
    resultUtf8(ctx, std::string_view(bytes->constData(), size_t(bytes->size())));
}

// A LOB argument: bytes for a BLOB, else the characters of its text; nullopt for NULL.
struct Lob {
    bool binary = false;
    QByteArray bytes;
    std::u32string characters;

    int64_t size() const { return binary ? bytes.size() : int64_t(characters.size()); }
};

std::optional<Lob> lobArgument(sqlite3_value* arg) {
    if (sqlite3_value_type(arg) == SQLITE_BLOB)
        return Lob{true, *rawArgument(arg), {}};
    const std::optional<QString> text = textArgument(arg);
    if (!text)
        return std::nullopt;
    return Lob{false, {}, text->toStdU32String()};
}

void lobLength(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const std::optional<Lob> lob = lobArgument(argv[0]);
    if (!lob)
        return sqlite3_result_null(ctx);
    sqlite3_result_int64(ctx, lob->size());
}

// DBMS_LOB.SUBSTR(lob [, amount [, offset]]): NULL for an amount or offset out of range.
void lobSubstr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const std::optional<Lob> lob = lobArgument(argv[0]);
    const std::optional<int64_t> amount = argc > 1 ? wholeArgument(argv[1]) : 32767;
    const std::optional<int64_t> offset = argc > 2 ? wholeArgument(argv[2]) : 1;
    if (!lob || !amount || !offset || *amount < 1 || *amount > 32767 || *offset < 1 ||
        *offset > lob->size())
        return sqlite3_result_null(ctx);
    if (lob->binary) {
        const QByteArray part = lob->bytes.mid(qsizetype(*offset - 1), qsizetype(*amount));
        return sqlite3_result_blob64(ctx, part.constData(), sqlite3_uint64(part.size()),
                                     SQLITE_TRANSIENT);
    }
    resultText(ctx, QString::fromStdU32String(
                        lob->characters.substr(size_t(*offset - 1), size_t(*amount))));
}

// DBMS_LOB.INSTR(lob, pattern [, offset [, nth]]): where the nth match from offset on starts, 0
// for none; NULL for an offset or nth below 1.
void lobInstr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const std::optional<Lob> lob = lobArgument(argv[0]);
    const std::optional<int64_t> offset = argc > 2 ? wholeArgument(argv[2]) : 1;
    const std::optional<int64_t> nth = argc > 3 ? wholeArgument(argv[3]) : 1;
    if (!lob || !offset || !nth || *offset < 1 || *nth < 1)
        return sqlite3_result_null(ctx);
    std::optional<Lob> pattern =
        lob->binary ? std::optional<Lob>(Lob{true, {}, {}}) : lobArgument(argv[1]);
    if (lob->binary) {
        const std::optional<QByteArray> bytes = rawArgument(argv[1]);
        pattern = bytes ? std::optional<Lob>(Lob{true, *bytes, {}}) : std::nullopt;
    }
    if (!pattern || pattern->size() == 0)
        return sqlite3_result_null(ctx);
    int64_t found = *offset - 2;
    for (int64_t k = 0; k < *nth; ++k) {
        found = lob->binary ? lob->bytes.indexOf(pattern->bytes, qsizetype(found + 1))
                            : int64_t(lob->characters.find(pattern->characters, size_t(found + 1)));
        if (found < 0 || size_t(found) == std::u32string::npos)
            return sqlite3_result_int64(ctx, 0);
    }
    sqlite3_result_int64(ctx, found + 1);
}

// TO_CLOB, TO_NCLOB: the text itself, as the engine keeps a CLOB as text.
void toClob(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const std::optional<QString> text = textArgument(argv[0]);
    if (!text)
        return sqlite3_result_null(ctx);
    resultText(ctx, *text);
}

const FunctionSpec kCodeFunctions[] = {
    {"to_clob", 1, 1, guarded<toClob>},
    {"to_nclob", 1, 1, guarded<toClob>},
    {"chr", 1, 1, guarded<chr>},
    {"qv_nchr", 1, 1, guarded<nchr>},
    {"ascii", 1, 1, guarded<ascii>},
    {"initcap", 1, 1, guarded<initcap>},
    {"dump", 1, 4, guarded<dump<false>>},
    {"qv_dump_literal", 1, 4, guarded<dump<true>>},
    {"utl_raw.cast_to_raw", 1, 1, guarded<castToRaw>},
    {"utl_raw.cast_to_varchar2", 1, 1, guarded<castToVarchar2>},
    {"dbms_lob.getlength", 1, 1, guarded<lobLength>},
    {"dbms_lob.substr", 1, 3, guarded<lobSubstr>},
    {"dbms_lob.instr", 2, 4, guarded<lobInstr>},
};

}  // namespace

int registerCodeFunctions(sqlite3* db) {
    return registerFunctions(db, kCodeFunctions);
}

}  // namespace qv::embedded::oracle
