#include "bench/postgres/PostgresBenchTables.h"

#include "shared/tracking/DbConnection.h"

void indexAndAnalyzeTracking(DbConnection &db)
{
    for (const char *column :
         {"MsgID", "Patient", "PracID", "LabId", "QZServerReceiveTime", "QZDeliveryTime", "StatusTime"})
        db.execute(db.dialect().createIndexSql(QStringLiteral("IX_Tracking_") + column,
                                               QStringLiteral("Tracking"), QLatin1String(column)));
    // Vacuumed as well, so that neither side of a comparison pays for setting the new rows' hint bits
    // and no autovacuum starts in the middle of the timings.
    db.execute(QStringLiteral("vacuum analyze Tracking"));
}
