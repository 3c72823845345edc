#pragma once

#include "core/sqlite/sqlite.h"

#include <QByteArrayView>
#include <QString>

#include <sqlite3.h>

#include <string>
#include <unordered_set>
#include <utility>

namespace qv::embedded {

// What the statements on one connection of the engine may do: a stand-in for a server admits
// what an Oracle user may do in their own schema, and nothing that reaches other files, changes
// how the file is written or touches the process. Statements are checked as SQLite compiles
// them (an authorizer) against one allow-list of statement kinds, pragmas and functions
// (sandbox.cpp); anything else is refused, ORA-01031. SQLite's limits keep a statement from
// taking the process's memory.
//
// Every statement is the user's unless the engine runs it inside an EngineRights scope: a
// statement SQLite compiles on its own (again after a schema change, or inside a pragma table
// function) is held to the user's rights, and so is a user's trigger or view that a statement of
// the engine's sets off.
class Sandbox {
  public:
    enum class Rights { User, Engine };

    Sandbox() = default;
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    // Puts `db`, just opened, in the sandbox: its limits, defensive mode, only the virtual table
    // modules on the list, and the authorizer, which keeps a pointer to this object; it must
    // outlive `db`'s handle. Throws sqlite::Error.
    void install(sqlite3* db);
    // Admits the functions registered on the connection since install(): the engine's own, which
    // a user calls as Oracle's. Throws sqlite::Error.
    void adoptEngineFunctions();

    Rights rights() const { return rights_; }

    // Throws the failure SQLite reports when compiling `sql` with the user's rights is refused;
    // compiling it fails or succeeds otherwise without a word. For a user's statement that the
    // engine itself is about to compile with its own rights. Throws sqlite::Error.
    void checkUserStatement(QByteArrayView sql);
    // `error` naming what was refused since the last call when it is a refusal that SQLite
    // reports as only "not authorized"; otherwise `error` as it is. Cannot fail.
    sqlite::Error described(const sqlite::Error& error);
    // Forgets a refusal that a failure no longer reports.
    void forgetRefusal() { refusal_.clear(); }

  private:
    friend class EngineRights;
    static int authorize(void* self, int action, const char* a, const char* b, const char*,
                         const char*);
    // `code`: the trigger or view whose body asks, null for the statement itself.
    bool admits(int action, const char* a, const char* b, const char* code) const;
    bool admitsFunction(const char* name) const;
    // Names from PRAGMA function_list, lower case; `appDefinedOnly` keeps those not built in.
    std::unordered_set<std::string> functionNames(bool appDefinedOnly) const;

    sqlite3* db_ = nullptr;
    Rights rights_ = Rights::User;
    std::unordered_set<std::string> presentAtOpen_;  // application-defined functions of SQLite's
    std::unordered_set<std::string> engineFunctions_;
    QString refusal_;  // what the last refusal refused, e.g. "PRAGMA synchronous"
};

// The engine's own work: what it compiles while this lives runs with the engine's rights.
class EngineRights {
  public:
    explicit EngineRights(Sandbox& sandbox)
        : sandbox_(sandbox), previous_(std::exchange(sandbox.rights_, Sandbox::Rights::Engine)) {}
    ~EngineRights() { sandbox_.rights_ = previous_; }
    EngineRights(const EngineRights&) = delete;
    EngineRights& operator=(const EngineRights&) = delete;

  private:
    Sandbox& sandbox_;
    Sandbox::Rights previous_;
};

}  // namespace qv::embedded
