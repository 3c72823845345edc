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

// The sample's layout version, kept in PRAGMA user_version, and the mark in PRAGMA
// application_id that tells a sample made by this program from any other database. Version 2
// holds the engine's optimizer statistics (optimizerstats.h).
inline constexpr int kSampleVersion = 2;
inline constexpr int kSampleApplicationId = 0x51565331;  // "QVS1"

// Writes a fresh sample database to `path`, replacing what is there. The same size always gives
// the same content. It is built in a temporary file beside `path` (sample-<random>.tmp) and
// renamed into place, so an interrupted generation never leaves a half-made sample; while it is
// built, the lock file <temporary file>.lock says that a live program is making it.
// Throws DbError(kErrOdbcCall) when the folder cannot be written.
void generateSampleDatabase(const QString& path, const SampleSize& size = {});

// Removes from `dir` the temporary files of samples whose making was cut short (the program
// that made it crashed or was killed): each sample-*.tmp whose lock is not held by a live
// program, and locks left without their file. One a live program is still making is left
// alone. Cannot fail.
void removeAbandonedSampleFiles(const QString& dir);

enum class SampleState {
    Missing,   // no file: make one
    Current,   // a sample of this version: use it
    Outdated,  // a sample of another version: make a new one, keeping the old beside it
    Busy,      // another connection holds it locked now: use it as it is, never replace it
    Foreign,   // a file this program did not make (or cannot read as one): leave it alone
};

// What is at `path`, read with a busy timeout so that a file in use is never mistaken for a
// damaged or outdated one. Cannot fail.
SampleState sampleState(const QString& path, int busyTimeoutMs = 5000);

}  // namespace qv::embedded
