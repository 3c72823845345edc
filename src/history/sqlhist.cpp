#include "history/sqlhist.h"

#include "settings/regstore.h"

#include <QRegularExpression>

#include <cmath>
#include <memory>

namespace qv {

bool storedNumberToInt32(const QString& text, int32_t& out) {
    static const QRegularExpression number(
        QStringLiteral("^\\s*([+-]?(?:\\d+\\.?\\d*|\\.\\d+)(?:[eE][+-]?\\d+)?)"));
    const auto m = number.match(text);
    if (!m.hasMatch()) {
        out = 0;
        return true;
    }
    const double v = std::nearbyint(m.captured(1).toDouble());  // default rounding: half to even
    if (!std::isfinite(v) || v < -2147483648.0 || v > 2147483647.0)
        return false;
    out = static_cast<int32_t>(v);
    return true;
}

void clsSQLHist::add(const QString& sql) {
    int32_t i = histNextp_;
    if (i > kLastSlot || i < 0)
        i = 0;
    sqls_[static_cast<size_t>(i)] = sql;
    histNextp_ = i + 1;
    if (i > histMax_)
        histMax_ = i;
}

void clsSQLHist::setMax(int32_t l) {
    if (l <= kLastSlot)
        histMax_ = l;
}

QString clsSQLHist::getSQL(int32_t p) const {
    if (p < 0 || p > histMax_ || p > kLastSlot)
        return QString();
    return sqls_[static_cast<size_t>(p)];
}

void clsSQLHist::load() {
    histNextp_ = 0;
    histMax_ = 0;
    sqls_.fill(QString());

    bool failed = false;
    QString text;
    int32_t v = 0;
    if (getRegValue(QStringLiteral("sqlhist_max"), text) == 0) {
        if (storedNumberToInt32(text, v))
            histMax_ = v;
        else
            failed = true;
    }
    if (getRegValue(QStringLiteral("sqlhist_nextp"), text) == 0) {
        if (storedNumberToInt32(text, v))
            histNextp_ = v;
        else
            failed = true;
    }
    if (failed) {
        histNextp_ = 0;
        histMax_ = 0;
    }
    // A hand-edited store may hold anything; no slot index may leave 0..100.
    histMax_ = std::clamp(histMax_, 0, kLastSlot);
    histNextp_ = std::clamp(histNextp_, 0, kLastSlot + 1);

    for (int32_t n = 0; n <= histMax_; ++n) {
        QString sql;
        if (getRegValue(QStringLiteral("sqlhist_") + QString::number(n), sql) == 0)
            sqls_[static_cast<size_t>(n)] = sql;
    }
}

void clsSQLHist::save() const {
    RegStore& store = regStore();
    store.beginBatch();
    store.setRegValue(QStringLiteral("sqlhist_max"), QString::number(histMax_));
    store.setRegValue(QStringLiteral("sqlhist_nextp"), QString::number(histNextp_));
    for (int32_t n = 0; n <= histMax_ && n <= kLastSlot; ++n)
        store.setRegValue(QStringLiteral("sqlhist_") + QString::number(n),
                          sqls_[static_cast<size_t>(n)]);
    store.endBatch();
}

void clsSQLHistFinder::nextSQL() {
    pos_ = pos_ + 1;
    if (pos_ > max())
        pos_ = 0;
}

void clsSQLHistFinder::prevSQL() {
    pos_ = pos_ - 1;
    if (pos_ < 0)
        pos_ = std::max(max(), 0);
}

QString clsSQLHistFinder::getSQL() const {
    return sqlHist_ ? sqlHist_->getSQL(pos_) : QString();
}

namespace {
std::unique_ptr<clsSQLHist>& instance() {
    static std::unique_ptr<clsSQLHist> p;
    return p;
}
}  // namespace

clsSQLHist& gSQLHist() {
    auto& p = instance();
    if (!p) {
        p = std::make_unique<clsSQLHist>();
        p->load();
    }
    return *p;
}

bool sqlHistExists() {
    return instance() != nullptr;
}

void releaseSQLHist() {
    auto& p = instance();
    if (p) {
        p->save();
        p.reset();
    }
}

void resetSQLHist() {
    instance().reset();
}

}  // namespace qv
