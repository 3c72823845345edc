#pragma once

#include "core/tuning/runwindow.h"

#include <cstdint>
#include <optional>

namespace qv {

// Texts the run shows.
inline const QString kMsgEnterSql = QStringLiteral("SQLを入力してください。");
inline const QString kMsgChooseOption =
    QStringLiteral("実行オプションを１つ以上指定してください。");
inline const QString kMsgExecuting = QStringLiteral("SQLを実行中");
inline const QString kMsgStopped = QStringLiteral("（中止しました）");
inline const QString kMsgCountStopped = QStringLiteral("件（中止）");
inline const QString kMsgNoSessionId = QStringLiteral(
    "ビュー V$SESSION から自セッションのSIDを取得できないため、統計情報を表示できません。");
// The status bar's word when the settings file names an optimizer goal the options offer not.
inline const QString kMsgStoredGoalNotOffered = QStringLiteral(
    "設定ファイルのオプティマイザ指定が選択肢にないため、システム既定値で実行しました。");
inline const QString kMsgControlCharacter =
    QStringLiteral("SQLの%1行目%2文字目に制御文字 %3 が含まれているため、実行できません。");
inline const QString kMsgNoVSession =
    QStringLiteral("ビュー V$SESSION が存在しないかSELECT権限がありません。");
inline const QString kMsgCannotUndo = QStringLiteral(
    "実行後にロールバックする設定のため、元に戻せないDDL、COMMIT、ROLLBACK、"
    "PL/SQLブロックは実行できません。");
inline const QString kMsgNothingToCommit =
    QStringLiteral("自動コミットのため、コミットする変更はありません。");
inline const QString kMsgNothingToRollBack =
    QStringLiteral("自動コミットのため、ロールバックする変更はありません。");
inline const QString kMsgUndoFailed =
    QStringLiteral("実行後のロールバックに失敗しました。変更はコミットされずに残っています。");
// What a run that measures a change and rolls it back sends around it.
inline const QString kMeasureSavepoint = QStringLiteral("SAVEPOINT QUERVIN_MEASURE");
inline const QString kMeasureRollback = QStringLiteral("ROLLBACK TO SAVEPOINT QUERVIN_MEASURE");

// The statement text after the run's validation trim: blanks (and full-width blanks) removed
// at both ends, then every line feed removed; a text of blanks and line feeds only gives
// nothing. Empty means there is nothing to run.
QString trimmedForValidation(const QString& text);

// The statement as it goes to the server: full-width blanks (U+3000) at either end, where a
// Japanese input method leaves them unseen, are dropped; everything else stays as typed.
QString sqlToSend(const QString& typed);
// Where character `sent` of sqlToSend(typed) stands in `typed`; -1 for -1.
qsizetype typedPosition(const QString& typed, qsizetype sent);

// The refusal of a statement that holds a control character other than tab, CR and LF (U+0000
// to U+001F): no server takes one, and a NUL would end the text early on the way to it. Names
// the first such character and where it stands (line and character, from 1; CR LF, LF and CR
// each end a line). Nothing when there is none.
std::optional<QString> controlCharacterRefusal(const QString& sql);

// Why a run with this statement and these settings would be refused (the message to show), or
// nothing when it can go ahead.
std::optional<QString> refusalOf(const QString& sql, const SharedSettings& settings);

// One tuning run on `w`: the commit mode the options ask for (set on the query session only
// when it differs from the session's, so a default run sends nothing for it), session
// statements, the plan stage, the statistics before, the result step, the statistics after,
// the per-line figures and the statement ring, each shown in `w` as it goes. With 実行後に
// ロールバック a statement that changes data runs after SAVEPOINT QUERVIN_MEASURE (auto-commit
// off meanwhile) and is rolled back to it once its figures are read.
// Returns what the run did; its outcome says whether it was refused.
RunRecord runTuning(RunWindow& w);

// The count label after a successful result step.
QString countLabelText(const ResultState& r, int32_t maxDisplayRows);
// A count of rows as the count label shows it while it grows and when a run was stopped, with
// thousands separators: "35,988,000".
QString groupedRowCount(int64_t rows);
// The count label of a result step that was stopped: "35,988,000件（中止）".
QString stoppedCountText(int64_t rows);

}  // namespace qv
