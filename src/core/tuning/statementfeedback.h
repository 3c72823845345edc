#pragma once

#include <QString>

#include <cstdint>

namespace qv {

// What a statement without a result set did, in the words Oracle's SQL*Plus uses in Japanese:
// "索引が作成されました。", "3行が更新されました。", "コミットが完了しました。". `rowsAffected`
// counts the rows an INSERT, UPDATE, DELETE or MERGE changed. A statement of another kind gets
// "文が処理されました。".
QString statementFeedback(const QString& sql, int64_t rowsAffected);

}  // namespace qv
