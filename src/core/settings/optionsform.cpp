#include "core/settings/optionsform.h"

#include "core/program.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace qv {

const QStringList& optimizerItems() {
    static const QStringList items{QStringLiteral("--システム既定値--"),
                                   QStringLiteral("CHOOSE"),
                                   QStringLiteral("RULE"),
                                   QStringLiteral("ALL_ROWS"),
                                   QStringLiteral("FIRST_ROWS"),
                                   QStringLiteral("FIRST_ROWS_1"),
                                   QStringLiteral("FIRST_ROWS_10"),
                                   QStringLiteral("FIRST_ROWS_100"),
                                   QStringLiteral("FIRST_ROWS_1000")};
    return items;
}

std::optional<double> parseUserNumber(const QString& text) {
    // NFKC folds full-width digits, signs, the point and the ideographic blank to ASCII.
    const QString t = text.normalized(QString::NormalizationForm_KC).trimmed();
    static const QRegularExpression number(
        QStringLiteral("^[+-]?(?:[0-9]+\\.?[0-9]*|\\.[0-9]+)(?:[eE][+-]?[0-9]+)?$"));
    if (!number.match(t).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double v = t.toDouble(&ok);
    // toDouble refuses an exponent beyond the double range; such a number is a number all the
    // same, too large for any row count.
    if (!ok) {
        const bool negative = t.startsWith(u'-');
        const double inf = std::numeric_limits<double>::infinity();
        const qsizetype e = t.indexOf(u'e', 0, Qt::CaseInsensitive);
        const bool tiny = e >= 0 && t.mid(e + 1).startsWith(u'-');
        return tiny ? (negative ? -0.0 : 0.0) : (negative ? -inf : inf);
    }
    return v;
}

double roundHalfEven(double v) {
    const double floor = std::floor(v);
    const double diff = v - floor;
    if (diff < 0.5)
        return floor;
    if (diff > 0.5)
        return floor + 1.0;
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

FormCheck checkMaxDisplayRows(const QString& text, int32_t* rows) {
    const std::optional<double> v = parseUserNumber(text);
    if (!v)
        return FormCheck::NotNumeric;
    if (*v < 0)
        return FormCheck::Negative;
    const double r = roundHalfEven(*v);
    if (!(r <= std::numeric_limits<int32_t>::max()))
        return FormCheck::NotNumeric;
    if (rows)
        *rows = static_cast<int32_t>(r);
    return FormCheck::Ok;
}

QString formCheckMessage(FormCheck check) {
    switch (check) {
        case FormCheck::NotNumeric:
            return kMsgRowsNotNumeric;
        case FormCheck::Negative:
            return kMsgRowsNegative;
        case FormCheck::BadPlanTable:
            return kMsgBadPlanTable;
        case FormCheck::Ok:
            break;
    }
    return QString();
}

QString OptionsForm::driverText() const {
    return driverIndex >= 0 && driverIndex < drivers.size() ? drivers.at(driverIndex) : QString();
}

int selectDriver(const QStringList& drivers, const QString& stored) {
    if (drivers.isEmpty())
        return -1;
    if (!stored.isEmpty()) {
        const int i = static_cast<int>(drivers.indexOf(stored));
        if (i >= 0)
            return i;
    }
    const int fallback = static_cast<int>(drivers.indexOf(kDefaultOracleDriver));
    return fallback >= 0 ? fallback : 0;
}

int selectOptimizer(bool overrideOptimizer, const QString& optimizerGoal) {
    if (!overrideOptimizer)
        return 0;
    const int i = static_cast<int>(optimizerItems().indexOf(optimizerGoal));
    return i > 0 ? i : 0;
}

OptionsForm optionsFormFor(const Settings& settings, const QStringList& drivers) {
    OptionsForm f;
    f.showPlan = settings.showPlan;
    f.runQuery = settings.runQuery;
    f.maxDisplayRows = QString::number(settings.maxDisplayRows);
    f.planTable = settings.planTable;
    f.drivers = drivers;
    f.driverIndex = selectDriver(drivers, settings.odbcDriver);
    f.optimizerIndex = selectOptimizer(settings.overrideOptimizer, settings.optimizerGoal);
    return f;
}

FormCheck applyOptionsForm(const OptionsForm& form, Settings& settings) {
    int32_t rows = 0;
    const FormCheck check = checkMaxDisplayRows(form.maxDisplayRows, &rows);
    if (check != FormCheck::Ok)
        return check;
    const QString table = form.planTable.trimmed();
    if (!table.isEmpty() && !isValidPlanTableName(table))
        return FormCheck::BadPlanTable;
    settings.showPlan = form.showPlan;
    settings.runQuery = form.runQuery;
    settings.maxDisplayRows = rows;
    settings.planTable = table.isEmpty() ? kDefaultPlanTable : table;
    settings.odbcDriver = form.driverText();
    return FormCheck::Ok;
}

void applyOptimizerChoice(int optimizerIndex, Settings& settings) {
    if (optimizerIndex > 0 && optimizerIndex < optimizerItems().size()) {
        settings.optimizerGoal = optimizerItems().at(optimizerIndex);
        settings.overrideOptimizer = true;
    } else {
        settings.overrideOptimizer = false;
    }
}

}  // namespace qv
