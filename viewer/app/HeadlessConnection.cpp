#include "viewer/app/HeadlessConnection.h"

#include "shared/tracking/DbConnection.h"
#include "shared/db/DbError.h"
#include "viewer/app/ViewerRunValues.h"

#include <QTextStream>

bool openHeadlessConnection(DbConnection &connection, const ViewerRunValues &values, QTextStream &errors,
                            bool mayCreate)
{
    if (values.DbConnectionString.isEmpty()) {
        errors << "No database connection defined." << Qt::endl;
        return false;
    }
    try {
        if (mayCreate)
            connection.openCreating(values.DbConnectionString);
        else
            connection.open(values.DbConnectionString);
    } catch (const DbError &error) {
        errors << error.message() << Qt::endl;
        return false;
    }
    return true;
}
