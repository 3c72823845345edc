#pragma once

#include <QString>

namespace qv {

// An exception that no one caught where it was thrown (memory or threads running out, a fault
// of the program) reaches the top of a program or of a thread; there it becomes a message and
// the program goes on where it can, rather than abort.

// The text of the exception being handled: what() of a standard exception (a DbError's
// description), empty for any other. Call it inside a catch block only.
QString currentExceptionText();

// What the window program shows for such an exception: kMsgInternalError, and the exception's
// text on a line of its own when it has one.
inline const QString kMsgInternalError = QStringLiteral("内部エラーが発生しました。");
QString internalErrorMessage(const QString& text);

}  // namespace qv
