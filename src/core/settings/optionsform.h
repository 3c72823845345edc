#pragma once

#include "core/settings/settings.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace qv {

// The optimizer goals offered, in the order shown; index 0 leaves the database's default.
const QStringList& optimizerItems();

inline const QString kMsgRowsNotNumeric = QStringLiteral("表示行数は数値で指定してください。");
inline const QString kMsgRowsNegative = QStringLiteral("表示行数は０以上で指定してください。");
inline const QString kMsgBadPlanTable = QStringLiteral(
    "実行計画表の名前が正しくありません。英字で始まり英数字・_・$・#からなる名前か、\"\"で囲んだ"
    "名前を指定してください（所有者名.表名も可）。");

// What a user would call a number: blanks around it, an optional sign, digits with or without
// a decimal point, an optional exponent. Full-width digits, signs and blanks count as their
// ASCII forms, since a Japanese input method types them.
std::optional<double> parseUserNumber(const QString& text);

// Rounds to the nearest integer, halves to the even one (12.5 -> 12, 13.5 -> 14).
double roundHalfEven(double v);

// What a check of the dialog's values found.
enum class FormCheck { Ok, NotNumeric, Negative, BadPlanTable };

// Checks the displayed-row text. A value below 0 is Negative; text that is not a number, or a
// number whose rounded value does not fit a 32-bit signed integer, is NotNumeric. On Ok
// `rows` receives the rounded value.
FormCheck checkMaxDisplayRows(const QString& text, int32_t* rows = nullptr);
// The message box text for a refused check; empty for Ok.
QString formCheckMessage(FormCheck check);

// The state of the options dialog's controls.
struct OptionsForm {
    bool showPlan = false;
    bool runQuery = false;
    QString maxDisplayRows;
    QString planTable;
    QStringList drivers;
    int driverIndex = -1;  // -1: none selected
    int optimizerIndex = 0;

    QString driverText() const;
};

// The driver to select: the stored one when listed, else "Oracle ODBC Driver" when listed,
// else the first; -1 for an empty list.
int selectDriver(const QStringList& drivers, const QString& stored);
// The optimizer item to select: 0 unless overrideOptimizer is on, then the item equal to
// optimizerGoal; a goal that is not offered selects 0.
int selectOptimizer(bool overrideOptimizer, const QString& optimizerGoal);

// The form as the dialog shows it when opened on `settings` with the given driver list.
OptionsForm optionsFormFor(const Settings& settings, const QStringList& drivers);

// Checks the row text and the plan table name (blanks around it dropped; empty means the
// default) and, when both pass, writes showPlan, runQuery, maxDisplayRows, planTable and
// odbcDriver, in that order. Nothing is written when a check fails.
FormCheck applyOptionsForm(const OptionsForm& form, Settings& settings);
// The optimizer choice, applied once the dialog is hidden: an item after index 0 sets
// optimizerGoal to it and turns overrideOptimizer on; index 0 turns it off and
// keeps optimizerGoal.
void applyOptimizerChoice(int optimizerIndex, Settings& settings);

}  // namespace qv
