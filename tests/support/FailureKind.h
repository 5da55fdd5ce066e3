#pragma once

#include "shared/db/DbError.h"

#include <functional>

// The kind of the DbError that `work` throws; a test failure when it throws none.
DbError::Kind failureKind(const std::function<void()> &work);
