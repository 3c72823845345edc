// Oracle's text functions in place of SQLite's functions of the same names, and the collation of
// CHAR values. See oraclevalues.h for the rules they keep. They work on the UTF-8 bytes SQLite
// holds, counting characters as Oracle does in AL32UTF8 (a code point is one character).
#include "core/embedded/values/oraclevalues.h"
#include "core/embedded/values/sqlfunctions.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace qv::embedded::oracle {

namespace {

bool startsCharacter(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
}

// Where character `index` (from 0) begins; past the end when the text is shorter.
size_t byteOf(std::string_view s, int64_t index) {
    size_t at = 0;
    for (; at < s.size(); ++at) {
        if (startsCharacter(s[at]) && index-- == 0)
            return at;
    }
    return s.size();
}

size_t characterBytes(std::string_view s, size_t at) {
    size_t end = at + 1;
    while (end < s.size() && !startsCharacter(s[end]))
        ++end;
    return end - at;
}

// A text argument's UTF-8 bytes, a number or bytes converted as Oracle converts them; empty for
// NULL and for empty text, which is NULL.
class TextArgument {
  public:
    explicit TextArgument(sqlite3_value* arg) {
        if (sqlite3_value_type(arg) == SQLITE_TEXT) {
            view_ = utf8Of(arg);
        } else if (const std::optional<QString> text = textArgument(arg)) {
            held_ = text->toUtf8();
            view_ = {held_.constData(), size_t(held_.size())};
        }
    }
    bool isNull() const { return view_.empty(); }
    std::string_view view() const { return view_; }

  private:
    QByteArray held_;
    std::string_view view_;
};

// A whole-number argument, cut toward zero as Oracle cuts a position or a length; nullopt for
// NULL.
std::optional<int64_t> wholeArgument(sqlite3_value* arg) {
    const std::optional<Value> n = numberArgument(arg);
    if (!n)
        return std::nullopt;
    if (n->kind == Value::Integer)
        return n->integer;
    constexpr double kLimit = 9.2e18;
    return int64_t(std::clamp(std::trunc(n->real), -kLimit, kLimit));
}

// False (after failing the statement with SQLite's "string or blob too big") for a result longer
// than the connection takes.
bool fits(sqlite3_context* ctx, uint64_t bytes) {
    const int limit = sqlite3_limit(sqlite3_context_db_handle(ctx), SQLITE_LIMIT_LENGTH, -1);
    if (bytes <= uint64_t(limit))
        return true;
    sqlite3_result_error_toobig(ctx);
    return false;
}

void substr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const TextArgument text(argv[0]);
    const std::optional<int64_t> position = wholeArgument(argv[1]);
    const std::optional<int64_t> length =
        argc > 2 ? wholeArgument(argv[2]) : std::optional<int64_t>(INT64_MAX);
    if (text.isNull() || !position || !length || *length < 1)
        return sqlite3_result_null(ctx);
    const std::string_view s = text.view();
    const int64_t count = characters(s);
    const int64_t first = *position > 0 ? *position - 1 : *position == 0 ? 0 : count + *position;
    if (first < 0 || first >= count)
        return sqlite3_result_null(ctx);
    const size_t begin = byteOf(s, first);
    const size_t end =
        *length >= count - first ? s.size() : begin + byteOf(s.substr(begin), *length);
    resultUtf8(ctx, s.substr(begin, end - begin));
}

void instr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const TextArgument text(argv[0]);
    const TextArgument sought(argv[1]);
    const std::optional<int64_t> position = argc > 2 ? wholeArgument(argv[2]) : 1;
    const std::optional<int64_t> occurrence = argc > 3 ? wholeArgument(argv[3]) : 1;
    if (text.isNull() || sought.isNull() || !position || !occurrence)
        return sqlite3_result_null(ctx);
    if (*occurrence < 1)
        outOfRange(QString::number(*occurrence));
    const std::string_view s = text.view();
    const std::string_view sub = sought.view();
    auto found = [&](size_t at) {
        return sqlite3_result_int64(ctx, characters(s.substr(0, at)) + 1);
    };
    int64_t left = *occurrence;
    if (*position > 0) {
        // Each comparison one character to the right of the last: matches may overlap.
        for (size_t at = byteOf(s, *position - 1); at < s.size(); at += characterBytes(s, at)) {
            at = s.find(sub, at);
            if (at == std::string_view::npos)
                break;
            if (--left == 0)
                return found(at);
        }
    } else if (*position < 0) {
        const int64_t start = characters(s) + *position;
        for (size_t at = start < 0 ? std::string_view::npos : byteOf(s, start);
             at != std::string_view::npos;) {
            at = s.rfind(sub, at);
            if (at == std::string_view::npos)
                break;
            if (--left == 0)
                return found(at);
            if (at == 0)
                break;
            do
                --at;
            while (at > 0 && !startsCharacter(s[at]));
        }
    }
    sqlite3_result_int64(ctx, 0);
}

// LENGTHB(x): the bytes of x's text in UTF-8 (of a BLOB, its bytes).
void lengthInBytes(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_TEXT || sqlite3_value_type(argv[0]) == SQLITE_BLOB) {
        if (const int bytes = sqlite3_value_bytes(argv[0]); bytes > 0)
            return sqlite3_result_int64(ctx, bytes);
        return sqlite3_result_null(ctx);
    }
    if (const std::optional<QString> text = textArgument(argv[0]))
        return sqlite3_result_int64(ctx, text->toUtf8().size());
    sqlite3_result_null(ctx);
}

void length(sqlite3_context* ctx, int, sqlite3_value** argv) {
    switch (sqlite3_value_type(argv[0])) {
        case SQLITE_TEXT:
            if (const std::string_view s = utf8Of(argv[0]); !s.empty())
                return sqlite3_result_int64(ctx, characters(s));
            return sqlite3_result_null(ctx);
        case SQLITE_BLOB:
            if (const int bytes = sqlite3_value_bytes(argv[0]); bytes > 0)
                return sqlite3_result_int64(ctx, bytes);
            return sqlite3_result_null(ctx);
        default:
            if (const std::optional<QString> text = textArgument(argv[0]))
                return sqlite3_result_int64(ctx, text->size());
            return sqlite3_result_null(ctx);
    }
}

// LPAD and RPAD: `text` filled to `width` characters with `fill` repeated, or cut to its first
// `width` characters.
template <bool Left>
void pad(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const TextArgument text(argv[0]);
    const std::optional<int64_t> width = wholeArgument(argv[1]);
    const std::optional<TextArgument> given =
        argc > 2 ? std::optional<TextArgument>(argv[2]) : std::nullopt;
    const std::string_view fill = given ? given->view() : std::string_view(" ");
    if (text.isNull() || !width || fill.empty() || *width < 1)
        return sqlite3_result_null(ctx);
    const std::string_view s = text.view();
    const int64_t count = characters(s);
    if (count >= *width)
        return resultUtf8(ctx, s.substr(0, byteOf(s, *width)));
    const uint64_t missing = uint64_t(*width - count);
    const uint64_t fillCount = uint64_t(characters(fill));
    if (!fits(ctx, missing / fillCount * fill.size() + s.size()))
        return;
    ResultBudget budget(ctx);
    std::string filling;
    filling.reserve(missing / fillCount * fill.size() + fill.size());
    for (uint64_t k = 0; k < missing / fillCount; ++k) {
        budget.step();
        filling += fill;
    }
    filling += fill.substr(0, byteOf(fill, int64_t(missing % fillCount)));
    resultUtf8(ctx, Left ? filling + std::string(s) : std::string(s) + filling);
}

void replace(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const TextArgument text(argv[0]);
    const TextArgument sought(argv[1]);
    const std::optional<TextArgument> given =
        argc > 2 ? std::optional<TextArgument>(argv[2]) : std::nullopt;
    const std::string_view with = given ? given->view() : std::string_view();
    const std::string_view s = text.view();
    const std::string_view sub = sought.view();
    if (sub.empty())
        return resultUtf8(ctx, s);
    // Built within the connection's value limit: the replacement may be far longer than what
    // it replaces, many thousand times over.
    ResultBudget budget(ctx);
    std::string out;
    size_t from = 0;
    for (size_t at; (at = s.find(sub, from)) != std::string_view::npos; from = at + sub.size()) {
        budget.grow(at - from + with.size());
        out.append(s.substr(from, at - from)).append(with);
    }
    out.append(s.substr(from));
    resultUtf8(ctx, out);
}

enum TrimSide { kLeading = 1, kTrailing = 2, kBoth = 3 };

// `s` without the characters of `set` at the sides asked for.
std::string_view trimmed(std::string_view s, std::string_view set, int sides) {
    auto inSet = [&](std::string_view c) {
        for (size_t at = 0; at < set.size(); at += characterBytes(set, at)) {
            if (set.substr(at, characterBytes(set, at)) == c)
                return true;
        }
        return false;
    };
    size_t begin = 0;
    size_t end = s.size();
    while ((sides & kLeading) && begin < end && inSet(s.substr(begin, characterBytes(s, begin))))
        begin += characterBytes(s, begin);
    while ((sides & kTrailing) && end > begin) {
        size_t at = end - 1;
        while (at > begin && !startsCharacter(s[at]))
            --at;
        if (!inSet(s.substr(at, end - at)))
            break;
        end = at;
    }
    return s.substr(begin, end - begin);
}

// LTRIM, RTRIM and TRIM(text [, set]): the characters of the set (a blank by default) removed.
template <TrimSide Sides>
void trimSet(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const TextArgument text(argv[0]);
    const std::optional<TextArgument> given =
        argc > 1 ? std::optional<TextArgument>(argv[1]) : std::nullopt;
    if (text.isNull() || (given && given->isNull()))
        return sqlite3_result_null(ctx);
    resultUtf8(ctx, trimmed(text.view(), given ? given->view() : " ", Sides));
}

// qv_trim(text, 'L'|'T'|'B', character): TRIM(LEADING|TRAILING|BOTH character FROM text).
void qvTrim(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const TextArgument text(argv[0]);
    const TextArgument character(argv[2]);
    if (text.isNull() || character.isNull())
        return sqlite3_result_null(ctx);
    if (characters(character.view()) != 1)
        fault("ORA-30001: trim set should have only one character");
    const std::string_view side = utf8Of(argv[1]);
    const int sides = side == "L" ? kLeading : side == "T" ? kTrailing : kBoth;
    resultUtf8(ctx, trimmed(text.view(), character.view(), sides));
}

// CONCAT(a, b): ||, NULL counting as empty text.
void concat(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const TextArgument a(argv[0]);
    const TextArgument b(argv[1]);
    if (!fits(ctx, a.view().size() + b.view().size()))
        return;
    resultUtf8(ctx, std::string(a.view()) + std::string(b.view()));
}

// qv_text(x): CAST(x AS VARCHAR2(n)), a number written as TO_CHAR writes it.
void qvText(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_TEXT)
        return resultUtf8(ctx, utf8Of(argv[0]));
    const std::optional<QString> text = textArgument(argv[0]);
    resultText(ctx, text.value_or(QString()));
}

// One step of SYS_CONNECT_BY_PATH (hierarchical.cpp): the parent's path, the separator and the
// row's value (NULL as nothing); ORA-30004 when the value holds the separator.
void connectPath(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const QString separator = textArgument(argv[1]).value_or(QString());
    const QString value = textArgument(argv[2]).value_or(QString());
    if (!separator.isEmpty() && value.contains(separator))
        fault(
            "ORA-30004: when using SYS_CONNECT_BY_PATH function, cannot have separator as "
            "part of column value");
    const QString path = textArgument(argv[0]).value_or(QString());
    ResultBudget(ctx).grow(uint64_t(path.size() + separator.size() + value.size()));
    resultText(ctx, path + separator + value);
}

// qv_connect_loop(key): a row that a hierarchical query (hierarchical.cpp) finds to be its own
// ancestor, without NOCYCLE.
void connectLoop(sqlite3_context*, int, sqlite3_value**) {
    fault("ORA-01436: CONNECT BY loop in user data");
}

// Oracle compares CHAR values as if the shorter were filled with blanks to the longer's length.
// The byte order of UTF-8 is the order of the characters, as BINARY's.
int compareBlankPadded(void*, int lengthA, const void* a, int lengthB, const void* b) {
    const int common = std::min(lengthA, lengthB);
    if (const int order = std::memcmp(a, b, size_t(common)); order != 0)
        return order;
    const bool aLonger = lengthA > lengthB;
    const auto* rest = static_cast<const unsigned char*>(aLonger ? a : b);
    for (int i = common; i < std::max(lengthA, lengthB); ++i) {
        if (rest[i] != ' ')
            return (rest[i] > ' ') == aLonger ? 1 : -1;
    }
    return 0;
}

const FunctionSpec kTextFunctions[] = {
    {"substr", 2, 3, guarded<substr>},
    {"instr", 2, 4, guarded<instr>},
    {"length", 1, 1, guarded<length>},
    {"lengthb", 1, 1, guarded<lengthInBytes>},
    {"lpad", 2, 3, guarded<pad<true>>},
    {"rpad", 2, 3, guarded<pad<false>>},
    {"replace", 2, 3, guarded<replace>},
    {"trim", 1, 2, guarded<trimSet<kBoth>>},
    {"ltrim", 1, 2, guarded<trimSet<kLeading>>},
    {"rtrim", 1, 2, guarded<trimSet<kTrailing>>},
    {"qv_trim", 3, 3, guarded<qvTrim>},
    {"concat", 2, 2, guarded<concat>},
    {"qv_text", 1, 1, guarded<qvText>},
    {"qv_connect_path", 3, 3, guarded<connectPath>},
    {"qv_connect_loop", 1, 1, guarded<connectLoop>},
};

}  // namespace

int64_t characters(std::string_view s) {
    return std::count_if(s.begin(), s.end(), startsCharacter);
}

int registerTextFunctions(sqlite3* db) {
    const int rc = registerFunctions(db, kTextFunctions);
    if (rc != SQLITE_OK)
        return rc;
    const QByteArray name = kBlankPaddedCollation.toUtf8();
    return sqlite3_create_collation_v2(db, name.constData(), SQLITE_UTF8, nullptr,
                                       compareBlankPadded, nullptr);
}

}  // namespace qv::embedded::oracle
