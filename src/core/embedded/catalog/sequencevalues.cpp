// NEXTVAL and CURRVAL (sequences.h): the values a process hands out, and how the file keeps them
// handed out whatever becomes of the transactions they were handed out in.
#include "core/embedded/base/sandbox.h"
#include "core/embedded/catalog/sequencedefs.h"
#include "core/embedded/catalog/sequences.h"
#include "core/embedded/values/sqlfunctions.h"

#include <QHash>
#include <QScopeGuard>

#include <algorithm>
#include <mutex>
#include <vector>

namespace qv::embedded {

namespace {

// What this process handed out of one sequence of one file. The sessions of the process share
// it, as the sessions of an Oracle instance share its sequence cache: the process hands out the
// values it reserved in the file (LAST_NUMBER is where they end, as Oracle's is for a cached
// sequence) from memory, and memory is what says which of them are gone.
struct Issued {
    QString stamp;
    WideValue next = 0;   // the next value to hand out (beyond the bounds when none is left)
    WideValue owned = 0;  // where the values this process reserved end: the last LAST_NUMBER it
                          // wrote, whatever became of the write
};

struct FileSequences {
    int sessions = 0;
    QHash<QString, Issued> issued;  // by sequence name
};

struct Issuer {
    std::mutex mutex;
    QHash<QString, FileSequences> files;  // by fileKey()
};

// Lives as long as the process: a connection closed while the process ends still finds it.
Issuer& issuer() {
    static auto* const all = new Issuer;
    return *all;
}

// The file a connection works on; an in-memory database is a file of its own.
QString fileKey(sqlite3* db) {
    const char* path = sqlite3_db_filename(db, "main");
    return path && *path ? QString::fromUtf8(path) : QStringLiteral("memory:%1").arg(quintptr(db));
}

// One session's sequences: the value it was last given of each, and of which making of it.
struct Given {
    QString stamp;
    int64_t value = 0;
};

struct SequenceSession {
    sqlite3* db;
    Sandbox* sandbox;
    QString file;  // fileKey()
    QString path;  // empty for an in-memory database
    QHash<QString, Given> current;
    bool reserving = false;  // writing a reservation on `db`
    bool unsettled = false;  // it wrote one since the last settle()
};

void bindWide(sqlite::Statement& stmt, int index, WideValue v) {
    if (v >= kNoMinValue && v <= kNoMaxValue)
        stmt.bind(index, int64_t(v));
    else
        stmt.bind(index, storedText(v).toDouble());
}

// Makes the file `path` hold what this process handed out of its sequences, on a connection of
// its own, so outside every session's transaction: after a rollback took a reservation back,
// and when a session closes. With `giveBack` (no session of the process is left on the file) a
// sequence whose LAST_NUMBER no other process has moved past this one's goes back to the next
// value this process would have handed out, so that the next process goes on without a gap.
// Waits `busyMs` for another connection's lock; false when it could not write the file, which
// is then left as it is (the next NEXTVAL of the process writes what is missing). A cycling
// sequence is only given back: its values come round again anyway.
bool settle(const QString& file, const QString& path, bool giveBack, int busyMs) {
    struct Claim {
        QString name, stamp;
        WideValue next, claimed;
    };
    std::vector<Claim> claims;
    {
        const std::lock_guard lock(issuer().mutex);
        const auto found = issuer().files.constFind(file);
        if (found == issuer().files.cend())
            return true;
        for (auto e = found->issued.cbegin(); e != found->issued.cend(); ++e)
            claims.push_back({e.key(), e->stamp, e->next, e->owned});
    }
    if (claims.empty() || path.isEmpty())
        return true;
    try {
        sqlite::Connection own(path, sqlite::Connection::Mode::ReadWrite, busyMs);
        // Only the engine's own statements run here: no trigger of the file's, no schema trusted.
        sqlite3_db_config(own.handle(), SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
        sqlite3_db_config(own.handle(), SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        sqlite3_db_config(own.handle(), SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
        sqlite::Transaction transaction(own.handle());
        // Up: LAST_NUMBER at or below the claim is this process's (or a rollback's); down the
        // same mirrored.
        sqlite::Statement update(
            own.handle(),
            "UPDATE \"QV$SEQUENCES\" SET LAST_NUMBER = ?1 WHERE NAME = ?3 AND STAMP = ?5 AND CASE "
            "WHEN CYCLE_FLAG = 'Y' THEN ?4 AND LAST_NUMBER = ?2 WHEN INCREMENT_BY > 0 THEN "
            "LAST_NUMBER <= ?2 AND LAST_NUMBER <> ?1 ELSE LAST_NUMBER >= ?2 AND LAST_NUMBER <> "
            "?1 END");
        for (const Claim& c : claims) {
            bindWide(update, 1, giveBack ? c.next : c.claimed);
            bindWide(update, 2, c.claimed);
            update.bind(3, c.name);
            update.bind(4, int64_t(giveBack ? 1 : 0));
            update.bind(5, c.stamp);
            update.run();
        }
        transaction.commit();
        return true;
    } catch (const sqlite::Error&) {
        return false;
    }
}

// Writes LAST_NUMBER = `mark`, never backwards (settle() may have written it already), on the
// session's own connection: the one connection that may write while the session holds the
// file's write lock. A rollback may take the write back; the values stay handed out all the same
// (the process remembers them, and settle() writes them again). ORA-00054 when another
// connection holds the file past the wait (SQLite has one writer per file, and a reader in
// another session keeps a write from being committed).
void reserve(SequenceSession& session, const Catalog& catalog, const QString& name,
             const SequenceDef& d, WideValue mark) {
    const QString sql = d.cycle
                            ? QStringLiteral(
                                  "UPDATE \"QV$SEQUENCES\" SET LAST_NUMBER = ?1 WHERE NAME = ?2 "
                                  "AND STAMP = ?3")
                            : QStringLiteral(
                                  "UPDATE \"QV$SEQUENCES\" SET LAST_NUMBER = ?1 WHERE NAME = ?2 "
                                  "AND STAMP = ?3 AND LAST_NUMBER %1 ?1")
                                  .arg(QChar(d.increment > 0 ? u'<' : u'>'));
    session.reserving = session.unsettled = true;
    const auto done = qScopeGuard([&session] { session.reserving = false; });
    catalog.engineExec(sql, {storedText(mark), name, d.stamp});
}

// The value to hand out of `e`, and the LAST_NUMBER to reserve first when the values the process
// reserved do not hold it. `fileNext` is LAST_NUMBER as the session reads it now; `run` the
// values this mention of the sequence handed out in this run of its statement.
std::pair<WideValue, std::optional<WideValue>> take(const SequenceDef& d, const QString& name,
                                                    const Issued& e, WideValue fileNext,
                                                    int64_t run) {
    WideValue value = e.next;
    WideValue owned = e.owned;
    // Past its own reservation the process goes on after whatever another one reserved since.
    if (!d.before(value, owned) && !d.cycle && d.before(value, fileNext))
        value = fileNext;
    if (d.beyond(value)) {
        if (!d.cycle) {
            oracle::fault(QStringLiteral("ORA-08004: sequence %1.NEXTVAL %2 and cannot be "
                                         "instantiated")
                              .arg(name, value > d.highest() ? QStringLiteral("exceeds MAXVALUE")
                                                             : QStringLiteral("goes below "
                                                                              "MINVALUE")));
        }
        value = owned = d.first();  // a new round: nothing of it is reserved yet
    }
    // Reserved when the value is past the reservation, or a rollback took the reservation back.
    if (d.before(value, owned) && !d.before(fileNext, owned))
        return {value, std::nullopt};
    // A statement that asks for many values reserves them in blocks that grow with it, rather
    // than writing the file per value.
    const WideValue block = std::max<int64_t>({d.cache, run, 1});
    const WideValue pastEnd = WideValue(d.increment > 0 ? d.highest() : d.lowest()) + d.increment;
    WideValue mark = value + d.increment * block;
    if (d.before(mark, owned))
        mark = owned;
    if (d.before(pastEnd, mark))
        mark = pastEnd;
    return {value, mark};
}

void nextval(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto* session = static_cast<SequenceSession*>(sqlite3_user_data(ctx));
    const QString name = oracle::rawText(argv[0]);
    const Catalog catalog(session->db, *session->sandbox, QString());
    const auto found = storedSequence(catalog, name);
    if (!found)
        oracle::fault("ORA-02289: sequence does not exist");
    const SequenceDef& d = found->first;
    auto* givenHere = static_cast<int64_t*>(sqlite3_get_auxdata(ctx, 0));
    WideValue value = 0;
    {
        // Held while a reservation is written, so that no session of the process hands out a
        // value the file does not hold yet.
        const std::lock_guard lock(issuer().mutex);
        Issued& e = issuer().files[session->file].issued[name];
        if (e.stamp != d.stamp)
            e = Issued{d.stamp, found->second, found->second};
        const auto [taken, mark] = take(d, name, e, found->second, givenHere ? *givenHere : 0);
        if (mark) {
            reserve(*session, catalog, name, d, *mark);
            e.owned = *mark;
        }
        value = taken;
        e.next = value + d.increment;
    }
    if (givenHere)
        ++*givenHere;
    else
        sqlite3_set_auxdata(ctx, 0, new int64_t(1),
                            [](void* p) { delete static_cast<int64_t*>(p); });
    session->current.insert(name, Given{d.stamp, int64_t(value)});
    sqlite3_result_int64(ctx, int64_t(value));
}

void currval(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto* session = static_cast<SequenceSession*>(sqlite3_user_data(ctx));
    const QString name = oracle::rawText(argv[0]);
    const Catalog catalog(session->db, *session->sandbox, QString());
    const auto found = storedSequence(catalog, name);
    if (!found)
        oracle::fault("ORA-02289: sequence does not exist");
    const auto given = session->current.constFind(name);
    if (given == session->current.cend() || given->stamp != found->first.stamp) {
        oracle::fault(QStringLiteral("ORA-08002: sequence %1.CURRVAL is not yet defined in this "
                                     "session")
                          .arg(name));
    }
    sqlite3_result_int64(ctx, given->value);
}

// A rollback of the session's transaction may have taken reservations back: written again at
// once, for the other processes' sake. Not for the session's own reservation failing, which
// took nothing else back and whose connection still reads.
void rolledBack(void* p) {
    auto* session = static_cast<SequenceSession*>(p);
    if (session->unsettled && !session->reserving)
        session->unsettled = !settle(session->file, session->path, false, 0);
}

// The connection closes: the last session of the process on the file gives back the values the
// process reserved and did not hand out.
void closed(void* p) {
    std::unique_ptr<SequenceSession> session(static_cast<SequenceSession*>(p));
    bool last = false;
    {
        const std::lock_guard lock(issuer().mutex);
        last = --issuer().files[session->file].sessions == 0;
    }
    // Others of the process still hand out what it reserved: only what a rollback took back
    // and its hook could not write again is written now, without waiting for their reads.
    constexpr int kLastCloseWaitMs = 1000;
    if (last || session->unsettled)
        settle(session->file, session->path, last, last ? kLastCloseWaitMs : 0);
    const std::lock_guard lock(issuer().mutex);
    if (const auto f = issuer().files.find(session->file);
        f != issuer().files.end() && f->sessions == 0)
        issuer().files.erase(f);
}

}  // namespace

std::optional<WideValue> forgetIssued(sqlite3* db, const QString& name, const QString& stamp) {
    const std::lock_guard lock(issuer().mutex);
    const auto f = issuer().files.find(fileKey(db));
    if (f == issuer().files.end())
        return std::nullopt;
    const auto e = f->issued.find(name);
    if (e == f->issued.end())
        return std::nullopt;
    const std::optional<WideValue> next = e->stamp == stamp ? std::optional(e->next) : std::nullopt;
    f->issued.erase(e);
    return next;
}

int registerSequenceFunctions(sqlite3* db, Sandbox& sandbox) {
    const char* path = sqlite3_db_filename(db, "main");
    auto* session = new SequenceSession{
        db, &sandbox, fileKey(db), path ? QString::fromUtf8(path) : QString(), {}};
    {
        const std::lock_guard lock(issuer().mutex);
        ++issuer().files[session->file].sessions;
    }
    // Called where a statement writes, never in a view, a trigger or a default: DIRECTONLY.
    // SQLite calls closed() when the connection closes, or now when the function cannot be made.
    int rc =
        sqlite3_create_function_v2(db, "qv_nextval", 1, SQLITE_UTF8 | SQLITE_DIRECTONLY, session,
                                   oracle::guarded<nextval>, nullptr, nullptr, closed);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "qv_currval", 1, SQLITE_UTF8 | SQLITE_DIRECTONLY,
                                        session, oracle::guarded<currval>, nullptr, nullptr,
                                        nullptr);
    if (rc == SQLITE_OK)
        sqlite3_rollback_hook(db, rolledBack, session);
    return rc;
}

}  // namespace qv::embedded
