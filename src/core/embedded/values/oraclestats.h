#pragma once

#include <sqlite3.h>

namespace qv::embedded {

// What qv_keep's sort flags hold per ORDER BY key, as bits.
enum KeepOrder {
    kKeepDescending = 1,
    kKeepNullsFirst = 2,
};

// Registers Oracle's statistical aggregates, each an aggregate and a window function (a window
// is the partition as a whole, the rows leaving it in the order they came), NULL values left
// out as Oracle leaves them out:
//   qv_variance(x), qv_stddev(x)               0 for one row, as Oracle's VARIANCE and STDDEV
//   qv_var_samp(x), qv_stddev_samp(x)          NULL for one row
//   qv_var_pop(x), qv_stddev_pop(x)            over n rather than n - 1
//   qv_percentile_cont(p, x, descending)       the value at row 1 + p * (n - 1) of the sorted
//                                              values, interpolated between the rows around it
//                                              (numbers and dates; MEDIAN is p = 0.5)
//   qv_percentile_disc(p, x, descending)       the first value whose cumulative share reaches p
//   qv_keep(function, last, x, key, flags, ...)  MIN, MAX, SUM, AVG, COUNT, VARIANCE or STDDEV of
//                                              x over the rows that rank first (last when `last`
//                                              is 1) by the keys, sorted as KeepOrder says
// ORA-30493 for a percentile outside 0 to 1, ORA-00932 for a percentile of what is neither
// number nor date, ORA-01722 for a variance of text that is no number. Returns SQLite's result
// code.
int registerStatistics(sqlite3* db);

}  // namespace qv::embedded
