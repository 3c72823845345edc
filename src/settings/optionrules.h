#pragma once

#include "settings/publicvar.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace qv {

// The optimizer goals offered, in the order shown; index 0 leaves the database's default.
const QStringList& optimizerItems();

inline const QString kMsgRowsNotNumeric = QStringLiteral("表示行数は数値で指定してください。");
inline const QString kMsgRowsNegative = QStringLiteral("表示行数は０以上で指定してください。");

// What a user would call a number: blanks around it, an optional sign, digits with or without
// a decimal point, an optional exponent. Full-width digits, signs and blanks count as their
// ASCII forms, since a Japanese input method types them.
std::optional<double> parseUserNumber(const QString& text);

// Rounds to the nearest integer, halves to the even one (12.5 -> 12, 13.5 -> 14).
double roundHalfEven(double v);

enum class RowsCheck { Ok, NotNumeric, Negative };

// Checks the displayed-row text. A value below 0 is Negative; text that is not a number, or a
// number whose rounded value does not fit a 32-bit signed integer, is NotNumeric. On Ok
// `rows` receives the rounded value.
RowsCheck checkMaxDispRows(const QString& text, int32_t* rows = nullptr);
// The message box text for a refused check; empty for Ok.
QString rowsCheckMessage(RowsCheck check);

// The state of the options dialog's controls.
struct OptionForm {
    bool explan = false;
    bool query = false;
    QString maxDispRows;
    QString planTable;
    QStringList drivers;
    int driverIndex = -1;  // -1: none selected
    int optimizerIndex = 0;

    QString driverText() const;
};

// The driver to select: the stored one when listed, else "Oracle ODBC Driver" when listed,
// else the first; -1 for an empty list.
int selectDriver(const QStringList& drivers, const QString& stored);
// The optimizer item to select: 0 unless flgOptimizerModify is 1, then the item equal to
// strOptimizer; a goal that is not offered selects 0.
int selectOptimizer(int16_t flgOptimizerModify, const QString& strOptimizer);

// The form as the dialog shows it when opened on `pv` with the given driver list.
OptionForm setupOptionForm(const clsPublicVar& pv, const QStringList& drivers);

// Checks the row text and, when it passes, writes flgExplan, flgQuery, maxDispRows, gPlanTable
// and strOracleDriver, in that order. Nothing is written when the check fails.
RowsCheck acceptOptionForm(const OptionForm& form, clsPublicVar& pv);
// The optimizer choice, applied once the dialog is hidden: an item after index 0 sets
// strOptimizer to it and flgOptimizerModify to 1; index 0 sets flgOptimizerModify to 0 and
// keeps strOptimizer.
void applyOptimizerChoice(int optimizerIndex, clsPublicVar& pv);

}  // namespace qv
