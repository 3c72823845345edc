#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <exception>

namespace qv {

// DbError::number() says what kind of failure it is, always in the program's own numbering
// (the data-access codes the program has always used), never in a database's: the database's
// own code is in the diagnostic records.
// A call that reached a database and failed there: the driver, the server, the embedded engine
// or a SQLite file (history). Its description carries the database's message (ORA-...).
inline constexpr int32_t kErrOdbcCall = 3146;
// The program used a connection or a result wrongly.
inline constexpr int32_t kErrItemNotFound = 3265;     // no field of that name
inline constexpr int32_t kErrObjectInvalid = 3420;    // the connection or result is not open
inline constexpr int32_t kErrNoCurrentRecord = 3021;  // read or moved past the last row
// A value the server gave cannot be what the program reads from it.
inline constexpr int32_t kErrTypeMismatch = 13;  // not a number where one must be
inline constexpr int32_t kErrOverflow = 6;       // a number beyond what it is kept in

// One diagnostic record of the driver: SQLSTATE, the server's native code and its text.
struct DiagRecord {
    QString sqlState;
    int32_t nativeError = 0;
    QString message;
};

// A failed database call: a number and a description. For kErrOdbcCall the description is
// built from every diagnostic record, so the server's own message (and its ORA- code) is in it.
class DbError : public std::exception {
  public:
    DbError(int32_t number, QString description, QList<DiagRecord> records = {});

    int32_t number() const { return number_; }
    const QString& description() const { return description_; }
    const QList<DiagRecord>& records() const { return records_; }
    const char* what() const noexcept override { return what_.constData(); }

    // Where in the statement's text (a character offset into the text as sent) the database
    // stopped reading it, when it says so; -1 when it does not (the description never says it).
    qsizetype position() const { return position_; }
    void setPosition(qsizetype position) { position_ = position; }

  private:
    int32_t number_;
    QString description_;
    QList<DiagRecord> records_;
    QByteArray what_;
    qsizetype position_ = -1;
};

// The error every operation of a connection that is not open gives.
DbError notOpenError();
// The error of reading or moving past the last row of a result.
DbError noCurrentRecordError();
// The error of asking for a field that the result does not have.
DbError itemNotFoundError();
// The error of a call refused because the run that makes it was stopped before it began.
DbError cancelledError();

}  // namespace qv
