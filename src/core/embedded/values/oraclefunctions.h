#pragma once

#include <QString>

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>

namespace qv::embedded {

// Registers on `db` the SQL functions that Oracle's SQL needs and SQLite lacks, with Oracle's
// behaviour and Oracle's errors ("ORA-nnnnn: ..." as the SQLite message):
//   TO_CHAR(date|number [, format]), TO_DATE(text [, format]), TO_TIMESTAMP(text [, format]),
//   TO_NUMBER(text [, format]), TRUNC(date [, format]) and TRUNC(number [, places]),
//   ADD_MONTHS(date, n), LAST_DAY(date), MONTHS_BETWEEN(date, date),
// and the operators the translation writes as calls, each applied from the left:
// qv_arith('<operators>', a, b, ...) for + - and || ('|') at one level, + and - on numbers, or a
// date and a number of days, or two dates; qv_concat(...) (NULL counts as empty text, as in
// Oracle); qv_div(a, b, ...) (ORA-01476 for a zero divisor, exact rather than integer division);
// qv_decode(value, search, ...) (the position of the first search equal to the value, NULL
// matching NULL). qv_add(a, b) and qv_sub(a, b) stay for statements that earlier versions
// wrote into a file's views, checks and indexes.
// Month and day names are English (NLS_DATE_LANGUAGE AMERICAN). Returns SQLite's result code.
//
// A session's date settings: NLS_DATE_FORMAT, the format TO_CHAR(date) and TO_DATE(text) take
// when none is given and by which text given to a DATE column is read. Without settings (the
// engine's own connections) that format is the engine's stored form, kDefaultDateFormat.
struct DateSettings {
    QString format;
};
int registerOracleFunctions(sqlite3* db, std::shared_ptr<const DateSettings> dates = nullptr);

// NLS_DATE_FORMAT as an Oracle client sets it from its environment: NLS_DATE_FORMAT when set,
// else the default of NLS_LANG's territory (JAPAN: RR-MM-DD, GERMANY: DD.MM.RR, ...), else
// AMERICA's DD-MON-RR.
QString clientDateFormat();
// Throws ORA-01821 (as a DbError) for a format Oracle does not take as a date format.
void checkDateFormat(const QString& format);

// True when `message` names one of the functions above that the translation writes (qv_...),
// which no text a user sees may show. Cannot fail.
bool namesEngineFunction(QStringView message);

// A date or timestamp as the engine stores it. The engine keeps a DATE as text: 'YYYY-MM-DD' at
// midnight, 'YYYY-MM-DD HH24:MI:SS' otherwise (a TIMESTAMP adds '.FF' when its fraction is not
// zero). Leaving out a midnight time keeps values stored by date alone (as the sample's are)
// equal to the same day computed here, and the text still sorts in time order.
struct StoredDate {
    int64_t days = 0;     // Julian day number
    int64_t seconds = 0;  // since midnight
    int nanos = 0;
};

// Reads 'YYYY-MM-DD[ HH24:MI[:SS[.F...]]]' (a 'T' may stand for the blank); nullopt for anything
// else, an impossible date included. Cannot fail.
std::optional<StoredDate> readStoredDate(QStringView text);
// The stored text of `date`, with the fraction only when `keepFraction`. Cannot fail.
QString storedDateText(const StoredDate& date, bool keepFraction);

}  // namespace qv::embedded
