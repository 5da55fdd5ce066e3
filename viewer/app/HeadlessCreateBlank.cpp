#include "viewer/app/HeadlessCreateBlank.h"

#include "shared/DbConnection.h"
#include "shared/DbError.h"
#include "shared/DbStatement.h"
#include "viewer/app/HeadlessConnection.h"
#include "viewer/app/ViewerRunValues.h"
#include "viewer/audit/AccessAudit.h"

#include <QTextStream>

int createBlankTrackTable(const ViewerRunValues &values, QTextStream &errors)
{
    DbConnection connection(values.AppPath, QStringLiteral("SQLNCLI.1"));
    if (!openHeadlessConnection(connection, values, errors, true))
        return 1;
    try {
        DbStatement create(connection, connection.dialect().createTrackingSql());
        create.execute();
        AccessAudit(connection, AuditIdentity::ofThisProcess()).ensureTable();
    } catch (const DbError &error) {
        errors << error.message() << Qt::endl;
        return 1;
    }
    return 0;
}
