#pragma once

#include <QString>

namespace qv::embedded {

// How many rows the sample holds. Order items come at 1 .. maxItemsPerOrder per order.
struct SampleSize {
    int customers = 10'000;
    int products = 1'000;
    int orders = 100'000;
    int maxItemsPerOrder = 6;
};

// The sample's layout version, kept in PRAGMA user_version; a sample of another version (or a
// damaged one) is made again on next use.
inline constexpr int kSampleVersion = 1;

// Writes a fresh sample database to `path`, replacing what is there. The same size always gives
// the same content. It is built in a temporary file beside `path` and renamed into place, so an
// interrupted generation never leaves a half-made sample.
// Throws DbError(kErrOdbcCall) when the folder cannot be written.
void generateSampleDatabase(const QString& path, const SampleSize& size = {});

// True when `path` is a complete sample of the current version. Cannot fail.
bool isCurrentSample(const QString& path);

}  // namespace qv::embedded
