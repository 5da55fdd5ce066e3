#pragma once

#include "shared/db/DbError.h"

#include <functional>
#include <string>

// The message of the DbError an action throws, or "no error".
inline std::string errorOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const DbError &e) {
        return e.what();
    }
    return "no error";
}
