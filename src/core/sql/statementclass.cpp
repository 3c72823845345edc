#include "core/sql/statementclass.h"

#include "core/sql/tokenlist.h"

namespace qv::sql {

namespace {

// SELECT ... FOR UPDATE: FOR UPDATE at the query's own level, after its last set member.
bool locksRows(const std::vector<Token>& t) {
    size_t at = 0;
    while ((at = findTopLevel(t, at, t.size(), u"FOR")) < t.size()) {
        if (at + 1 < t.size() && t[at + 1].is(u"UPDATE"))
            return true;
        ++at;
    }
    return false;
}

}  // namespace

StatementClass classifyStatement(const std::vector<Token>& t) {
    if (t.empty() || t[0].isOp(u';'))
        return StatementClass::Empty;
    const Token& first = t[0];
    if (first.is(u"SELECT") || first.is(u"WITH") || first.isOp(u'('))
        return locksRows(t) ? StatementClass::QueryForUpdate : StatementClass::Query;
    if (isOneOf(first, {u"INSERT", u"UPDATE", u"DELETE", u"MERGE"}))
        return StatementClass::Change;
    if (first.is(u"LOCK"))
        return StatementClass::Lock;
    if (isOneOf(first, {u"BEGIN", u"DECLARE", u"CALL", u"EXEC", u"EXECUTE"}))
        return StatementClass::Block;
    if (first.is(u"COMMIT"))
        return StatementClass::Commit;
    if (first.is(u"ROLLBACK")) {
        size_t k = 1;
        if (k < t.size() && t[k].is(u"WORK"))
            ++k;
        return k < t.size() && t[k].is(u"TO") ? StatementClass::RollbackToSavepoint
                                              : StatementClass::Rollback;
    }
    if (first.is(u"SAVEPOINT"))
        return StatementClass::Savepoint;
    if ((first.is(u"ALTER") && t.size() > 1 && t[1].is(u"SESSION")) || first.is(u"SET"))
        return StatementClass::Session;
    if (isOneOf(first, {u"CREATE", u"ALTER", u"DROP", u"TRUNCATE", u"RENAME", u"COMMENT", u"GRANT",
                        u"REVOKE", u"ANALYZE", u"AUDIT", u"NOAUDIT", u"PURGE", u"FLASHBACK"}))
        return StatementClass::Definition;
    return StatementClass::Other;
}

StatementClass classifyStatement(const QString& sql) {
    return classifyStatement(tokenize(sql));
}

bool leavesPendingWork(StatementClass c) {
    return c == StatementClass::Change || c == StatementClass::Lock ||
           c == StatementClass::QueryForUpdate || c == StatementClass::Block;
}

bool undoable(StatementClass c) {
    return c != StatementClass::Definition && c != StatementClass::Commit &&
           c != StatementClass::Rollback && c != StatementClass::Block;
}

}  // namespace qv::sql
