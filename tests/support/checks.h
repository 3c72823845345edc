#pragma once

#include "core/db/database.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

// Failure messages show a QString as text, not as a list of 16-bit units.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace qv::test {

// The error `action` fails with; the test fails when it succeeds.
inline DbError errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const DbError& e) {
        return e;
    }
    ADD_FAILURE() << "no DbError";
    return DbError(0, QString());
}

}  // namespace qv::test
