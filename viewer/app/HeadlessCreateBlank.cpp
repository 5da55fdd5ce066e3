#include "viewer/app/HeadlessCreateBlank.h"

#include "shared/DbConnection.h"
#include "shared/DbError.h"
#include "shared/DbStatement.h"
#include "viewer/app/ViewerRunValues.h"

#include <QTextStream>

int createBlankTrackTable(const ViewerRunValues &values, QTextStream &errors)
{
    if (values.DbConnectionString.isEmpty()) {
        errors << "No database connection defined." << Qt::endl;
        return 1;
    }
    DbConnection connection(values.AppPath, QStringLiteral("SQLNCLI.1"));
    try {
        connection.open(values.DbConnectionString);
        DbStatement create(connection, connection.dialect().createTrackingSql());
        create.execute();
    } catch (const DbError &error) {
        errors << error.message() << Qt::endl;
        return 1;
    }
    return 0;
}
