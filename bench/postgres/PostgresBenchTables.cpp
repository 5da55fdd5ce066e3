#include "bench/postgres/PostgresBenchTables.h"

#include "shared/DbConnection.h"

void indexAndAnalyzeTracking(DbConnection &db)
{
    for (const char *column :
         {"MsgID", "Patient", "PracID", "LabId", "QZServerReceiveTime", "QZDeliveryTime", "StatusTime"})
        db.execute(db.dialect().createIndexSql(QStringLiteral("IX_Tracking_") + column,
                                               QStringLiteral("Tracking"), QLatin1String(column)));
    db.execute(QStringLiteral("analyze Tracking"));
}
