#include "core/tuning/statementfeedback.h"

#include "core/sql/tokenlist.h"

#include <vector>

namespace qv {

namespace {

// Every text the result line can give for a statement without a result set, in one place.
// Rows: "%1" is the number of rows changed.
const QString kRowsCreated = QStringLiteral("%1行が作成されました。");
const QString kRowsUpdated = QStringLiteral("%1行が更新されました。");
const QString kRowsDeleted = QStringLiteral("%1行が削除されました。");
const QString kRowsMerged = QStringLiteral("%1行がマージされました。");
const QString kCommitted = QStringLiteral("コミットが完了しました。");
const QString kRolledBack = QStringLiteral("ロールバックが完了しました。");
const QString kSavepoint = QStringLiteral("セーブポイントが作成されました。");
const QString kSessionAltered = QStringLiteral("セッションが変更されました。");
const QString kSystemAltered = QStringLiteral("システムが変更されました。");
const QString kGranted = QStringLiteral("権限付与が成功しました。");
const QString kRevoked = QStringLiteral("権限の取消しが成功しました。");
const QString kTruncated = QStringLiteral("表が切り捨てられました。");
const QString kRenamed = QStringLiteral("表名が変更されました。");
const QString kCommented = QStringLiteral("コメントが作成されました。");
const QString kLocked = QStringLiteral("表がロックされました。");
const QString kTransactionSet = QStringLiteral("トランザクションが設定されました。");
const QString kBlockDone = QStringLiteral("PL/SQLプロシージャが正常に完了しました。");
const QString kProcessed = QStringLiteral("文が処理されました。");
// Object kinds of CREATE, ALTER and DROP, by the word (or two) that names them.
struct ObjectKind {
    const char16_t* word;
    const char16_t* second;  // nullptr: one word
    const char16_t* name;
};
const ObjectKind kObjectKinds[] = {
    {u"TABLE", nullptr, u"表"},
    {u"INDEX", nullptr, u"索引"},
    {u"VIEW", nullptr, u"ビュー"},
    {u"MATERIALIZED", u"VIEW", u"マテリアライズド・ビュー"},
    {u"SEQUENCE", nullptr, u"順序"},
    {u"SYNONYM", nullptr, u"シノニム"},
    {u"USER", nullptr, u"ユーザー"},
    {u"ROLE", nullptr, u"ロール"},
    {u"PROCEDURE", nullptr, u"プロシージャ"},
    {u"FUNCTION", nullptr, u"ファンクション"},
    {u"PACKAGE", u"BODY", u"パッケージ本体"},
    {u"PACKAGE", nullptr, u"パッケージ"},
    {u"TRIGGER", nullptr, u"トリガー"},
    {u"TYPE", u"BODY", u"型本体"},
    {u"TYPE", nullptr, u"型"},
    {u"TABLESPACE", nullptr, u"表領域"},
    {u"DATABASE", u"LINK", u"データベース・リンク"},
    {u"CLUSTER", nullptr, u"クラスタ"},
    {u"DIRECTORY", nullptr, u"ディレクトリ"},
};
const QString kObjectCreated = QStringLiteral("%1が作成されました。");
const QString kObjectAltered = QStringLiteral("%1が変更されました。");
const QString kObjectDropped = QStringLiteral("%1が削除されました。");

// Words between CREATE and the object kind that say how, not what.
bool isModifier(const sql::Token& t) {
    return sql::isOneOf(
        t, {u"OR", u"REPLACE", u"UNIQUE", u"BITMAP", u"GLOBAL", u"PRIVATE", u"TEMPORARY", u"PUBLIC",
            u"FORCE", u"NOFORCE", u"EDITIONABLE", u"NONEDITIONABLE", u"EDITIONING", u"SHARED",
            u"IMMUTABLE", u"BLOCKCHAIN", u"NO", u"DUPLICATED", u"SHARDED"});
}

QString objectStatement(const std::vector<sql::Token>& t, const QString& text) {
    size_t i = 1;
    while (i < t.size() && isModifier(t[i]))
        ++i;
    if (i >= t.size())
        return kProcessed;
    for (const ObjectKind& kind : kObjectKinds) {
        if (!t[i].is(QStringView(kind.word)))
            continue;
        if (kind.second && !(i + 1 < t.size() && t[i + 1].is(QStringView(kind.second))))
            continue;
        return text.arg(QStringView(kind.name));
    }
    return kProcessed;
}

}  // namespace

QString statementFeedback(const QString& sql, int64_t rowsAffected) {
    const std::vector<sql::Token> t = sql::tokenize(sql);
    if (t.empty())
        return kProcessed;
    const sql::Token& first = t.front();
    const QString rows = QString::number(rowsAffected);
    if (first.is(u"INSERT"))
        return kRowsCreated.arg(rows);
    if (first.is(u"UPDATE"))
        return kRowsUpdated.arg(rows);
    if (first.is(u"DELETE"))
        return kRowsDeleted.arg(rows);
    if (first.is(u"MERGE"))
        return kRowsMerged.arg(rows);
    if (first.is(u"COMMIT"))
        return kCommitted;
    if (first.is(u"ROLLBACK"))
        return kRolledBack;
    if (first.is(u"SAVEPOINT"))
        return kSavepoint;
    if (first.is(u"CREATE"))
        return objectStatement(t, kObjectCreated);
    if (first.is(u"DROP"))
        return objectStatement(t, kObjectDropped);
    if (first.is(u"ALTER")) {
        if (t.size() > 1 && t[1].is(u"SESSION"))
            return kSessionAltered;
        if (t.size() > 1 && t[1].is(u"SYSTEM"))
            return kSystemAltered;
        return objectStatement(t, kObjectAltered);
    }
    if (first.is(u"GRANT"))
        return kGranted;
    if (first.is(u"REVOKE"))
        return kRevoked;
    if (first.is(u"TRUNCATE"))
        return kTruncated;
    if (first.is(u"RENAME"))
        return kRenamed;
    if (first.is(u"COMMENT"))
        return kCommented;
    if (first.is(u"LOCK"))
        return kLocked;
    if (first.is(u"SET") && t.size() > 1 && t[1].is(u"TRANSACTION"))
        return kTransactionSet;
    if (first.is(u"BEGIN") || first.is(u"DECLARE") || first.is(u"CALL"))
        return kBlockDone;
    return kProcessed;
}

}  // namespace qv
