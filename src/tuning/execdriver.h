#pragma once

#include "tuning/runwindow.h"

#include <cstdint>

namespace qv {

// Texts the run shows.
inline const QString kMsgEnterSql = QStringLiteral("SQLを入力してください。");
inline const QString kMsgChooseOption =
    QStringLiteral("実行オプションを１つ以上指定してください。");
inline const QString kMsgExecuting = QStringLiteral("SQLを実行中");
inline const QString kMsgNoVSession =
    QStringLiteral("ビュー V$SESSION が存在しないかSELECT権限がありません。");

// The statement text after the run's validation trim: blanks (and full-width blanks) removed
// at both ends, then every line feed removed; a text of blanks and line feeds only gives
// nothing. Empty means there is nothing to run.
QString trimmedForValidation(const QString& text);

// One tuning run on `w`: 0 when it was carried out (whatever failed inside it), 1 when it was
// refused before anything was sent to the database.
int16_t execProc(RunWindow& w);

// The count label after a successful result step.
QString countLabelText(const ResultState& r, int32_t maxDispRows);

}  // namespace qv
