#pragma once

#include "core/db/database.h"

#include <gtest/gtest.h>

#include <functional>

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
