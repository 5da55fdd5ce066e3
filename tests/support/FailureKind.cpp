#include "tests/support/FailureKind.h"

#include <gtest/gtest.h>

DbError::Kind failureKind(const std::function<void()> &work)
{
    try {
        work();
    } catch (const DbError &error) {
        return error.kind();
    }
    ADD_FAILURE() << "no DbError was thrown";
    return DbError::Kind::AccessLayer;
}
