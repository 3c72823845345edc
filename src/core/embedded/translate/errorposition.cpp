#include "core/embedded/translate/errorposition.h"

#include "core/embedded/values/oracleerrors.h"
#include "core/sql/sqltokens.h"
#include "core/sql/tokenlist.h"

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace qv::embedded {

namespace {

using sql::Token;
using sql::TokenKind;

// Beyond this many tokens inserted or removed the translation has rewritten the statement as a
// whole, and no place in it would be a fair answer. The search keeps about this many squared
// integers.
constexpr int kMaxEdits = 2000;

// One number per distinct token, equal for tokens that read the same: names without regard to
// case or quotes (the translation quotes some names and upper-cases others), the rest as
// written.
std::vector<int> tokenIds(const std::vector<Token>& tokens, QHash<QString, int>& ids) {
    std::vector<int> out;
    out.reserve(tokens.size());
    for (const Token& t : tokens) {
        QString key = sql::isName(t) ? u'n' + sql::unquoted(t).toUpper() : t.text.toString();
        if (!sql::isName(t))
            key.prepend(QChar(u'0' + int(t.kind)));
        auto id = ids.constFind(key);
        if (id == ids.cend())
            id = ids.insert(key, int(ids.size()));
        out.push_back(id.value());
    }
    return out;
}

// For each element of `b`, the element of `a` it is paired with in a longest common
// subsequence of the two (Myers' O((N+M)D) search), -1 for none. Nullopt past kMaxEdits.
std::optional<std::vector<int>> pairing(const std::vector<int>& a, const std::vector<int>& b) {
    const int n = int(a.size());
    const int m = int(b.size());
    std::vector<int> pairedWith(size_t(m), -1);
    // The same tokens at both ends need no search.
    int head = 0;
    while (head < n && head < m && a[size_t(head)] == b[size_t(head)]) {
        pairedWith[size_t(head)] = head;
        ++head;
    }
    int tail = 0;
    while (tail < n - head && tail < m - head &&
           a[size_t(n - 1 - tail)] == b[size_t(m - 1 - tail)]) {
        pairedWith[size_t(m - 1 - tail)] = n - 1 - tail;
        ++tail;
    }
    const int an = n - head - tail;
    const int bm = m - head - tail;
    auto same = [&](int x, int y) { return a[size_t(head + x)] == b[size_t(head + y)]; };

    // rounds[d][k + d]: the furthest x on diagonal k = x - y after d insertions and removals.
    std::vector<std::vector<int>> rounds;
    auto down = [&](int d, int k) {  // whether diagonal k is reached from k + 1 (a step in b)
        const std::vector<int>& v = rounds[size_t(d - 1)];
        return k == -d || (k != d && v[size_t(k - 1 + d - 1)] < v[size_t(k + 1 + d - 1)]);
    };
    int end = -1;
    for (int d = 0; d <= std::min(an + bm, kMaxEdits) && end < 0; ++d) {
        std::vector<int> v(size_t(2 * d + 1), 0);
        rounds.push_back({});
        for (int k = -d; k <= d; k += 2) {
            int x = 0;
            if (d > 0) {
                const std::vector<int>& prev = rounds[size_t(d - 1)];
                x = down(d, k) ? prev[size_t(k + 1 + d - 1)] : prev[size_t(k - 1 + d - 1)] + 1;
            }
            int y = x - k;
            while (x < an && y < bm && same(x, y)) {
                ++x;
                ++y;
            }
            v[size_t(k + d)] = x;
            if (x >= an && y >= bm) {
                end = d;
                break;
            }
        }
        rounds.back() = std::move(v);
    }
    if (end < 0)
        return std::nullopt;
    // Back from the end, pairing the tokens on each diagonal run.
    int x = an, y = bm;
    for (int d = end; d >= 0; --d) {
        const int k = x - y;
        int startX = 0, prevX = 0, prevK = 0;
        if (d > 0) {
            prevK = down(d, k) ? k + 1 : k - 1;
            prevX = rounds[size_t(d - 1)][size_t(prevK + d - 1)];
            startX = prevK == k + 1 ? prevX : prevX + 1;
        }
        while (x > startX) {
            --x;
            --y;
            pairedWith[size_t(head + y)] = head + x;
        }
        if (d > 0) {
            x = prevX;
            y = prevX - prevK;
        }
    }
    return pairedWith;
}

// Where SQLite gives no offset but names what it did not find ("no such table: t", "table t
// has no column named c"): the first place `client` names it ("a.b" as a, '.', b), else -1.
qsizetype namedIn(const QString& client, const QString& message) {
    static const QLatin1StringView kNamers[] = {
        QLatin1StringView("no such table: "),  QLatin1StringView("no such view: "),
        QLatin1StringView("no such column: "), QLatin1StringView("no such function: "),
        QLatin1StringView("no such index: "),  QLatin1StringView(" has no column named ")};
    QString named;
    for (QLatin1StringView namer : kNamers) {
        if (const qsizetype at = message.indexOf(namer); at >= 0) {
            named = message.mid(at + namer.size()).trimmed();
            break;
        }
    }
    if (named.isEmpty())
        return -1;
    const QStringList parts = named.toUpper().split(u'.');
    const std::vector<Token> t = sql::tokenize(client);
    for (size_t i = 0; i + 2 * (parts.size() - 1) < t.size(); ++i) {
        bool all = true;
        for (qsizetype p = 0; p < parts.size() && all; ++p) {
            const Token& name = t[i + size_t(2 * p)];
            all = sql::isName(name) && sql::unquoted(name).toUpper() == parts[p] &&
                  (p == 0 || t[i + size_t(2 * p - 1)].isOp(u'.'));
        }
        if (all)
            return t[i].begin;
    }
    return -1;
}

}  // namespace

qsizetype clientPosition(const QString& client, const QString& engine, qsizetype at) {
    if (at < 0)
        return -1;
    const std::vector<Token> ct = sql::tokenize(client);
    const std::vector<Token> et = sql::tokenize(engine);
    QHash<QString, int> ids;
    const std::vector<int> a = tokenIds(ct, ids);
    const std::vector<int> b = tokenIds(et, ids);
    const std::optional<std::vector<int>> paired = pairing(a, b);
    if (!paired)
        return -1;
    // The engine's token at `at`, or the end of its text.
    size_t e = 0;
    while (e < et.size() && et[e].end <= at)
        ++e;
    const qsizetype clientEnd = ct.empty() ? client.size() : ct.back().end;
    if (e < et.size() && (*paired)[e] >= 0)
        return ct[size_t((*paired)[e])].begin;
    // Written by the translation: the client's tokens between the paired ones around it are
    // what it stands for.
    int before = -1;
    for (size_t j = e; j-- > 0;) {
        if ((*paired)[j] >= 0) {
            before = (*paired)[j];
            break;
        }
    }
    const size_t first = size_t(before + 1);
    return first < ct.size() ? ct[first].begin : clientEnd;
}

DbError placedFailure(const sqlite::Error& error, const QByteArray& engineUtf8,
                      const QString& client) {
    DbError failure = oracleFailure(error, engineUtf8);
    const int offset = error.offset();
    if (offset >= 0 && offset <= engineUtf8.size()) {
        const QString engine = QString::fromUtf8(engineUtf8);
        const qsizetype at = QString::fromUtf8(engineUtf8.first(offset)).size();
        failure.setPosition(clientPosition(client, engine, at));
    } else if (error.description() == u"incomplete input") {
        // The statement ends too early: after its last token.
        const std::vector<Token> t = sql::tokenize(client);
        failure.setPosition(t.empty() ? 0 : t.back().end);
    } else {
        failure.setPosition(namedIn(client, error.description()));
    }
    return failure;
}

}  // namespace qv::embedded
