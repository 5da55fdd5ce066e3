#pragma once

#include "shared/db/DbError.h"

class QSqlError;

// The database's own text of a Qt SQL error, with the driver's where it adds something.
QString sqlErrorText(const QSqlError &error);
