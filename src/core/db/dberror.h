#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <exception>

namespace qv {

// Error numbers a database call can fail with.
inline constexpr int32_t kErrOdbcCall = 3146;         // the driver or the server refused the call
inline constexpr int32_t kErrItemNotFound = 3265;     // no field of that name
inline constexpr int32_t kErrObjectInvalid = 3420;    // the connection or result is not open
inline constexpr int32_t kErrNoCurrentRecord = 3021;  // read or moved past the last row

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

  private:
    int32_t number_;
    QString description_;
    QList<DiagRecord> records_;
    QByteArray what_;
};

// The error every operation of a connection that is not open gives.
DbError notOpenError();
// The error of reading or moving past the last row of a result.
DbError noCurrentRecordError();
// The error of asking for a field that the result does not have.
DbError itemNotFoundError();

}  // namespace qv
