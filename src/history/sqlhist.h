#pragma once

#include <QString>

#include <array>
#include <cstdint>

namespace qv {

// The ring of the last 101 executed statements, shared by every query window of the process
// and kept in the settings store between runs.
class clsSQLHist {
  public:
    static constexpr int32_t kLastSlot = 100;

    // Stores `sql` unchanged in the next slot, wrapping after slot 100.
    void add(const QString& sql);
    // Sets the highest slot in use when `l` is at most 100.
    void setMax(int32_t l);
    int32_t getMax() const { return histMax_; }
    // The text of slot `p`; empty for a slot above getMax() (or below 0).
    QString getSQL(int32_t p) const;

    int32_t nextp() const { return histNextp_; }

    // Loads the ring from the settings store ("sqlhist_max", "sqlhist_nextp", "sqlhist_<n>").
    // Stored numbers are brought into range: the maximum into 0..100, the next slot into 0..101.
    void load();
    // Writes the ring back; failures are not reported.
    void save() const;

  private:
    std::array<QString, kLastSlot + 1> sqls_;
    int32_t histNextp_ = 0;
    int32_t histMax_ = 0;
};

// A window's position in the ring.
class clsSQLHistFinder {
  public:
    void setSQLHist(clsSQLHist* s) { sqlHist_ = s; }
    void resetSQLHist() { sqlHist_ = nullptr; }
    void nextSQL();
    void prevSQL();
    QString getSQL() const;
    int32_t pos() const { return pos_; }

  private:
    int32_t max() const { return sqlHist_ ? sqlHist_->getMax() : 0; }

    clsSQLHist* sqlHist_ = nullptr;
    int32_t pos_ = 0;
};

// The process-wide ring, created and loaded at first use.
clsSQLHist& gSQLHist();
bool sqlHistExists();
// Saves and drops the ring (program end).
void releaseSQLHist();
// Drops the ring without saving (tests).
void resetSQLHist();

// The number a stored text begins with, read the way a user would (blanks, sign, decimal point,
// exponent), rounded half to even. A text without a leading number gives 0; false when the
// number does not fit 32 bits.
bool storedNumberToInt32(const QString& text, int32_t& out);

}  // namespace qv
