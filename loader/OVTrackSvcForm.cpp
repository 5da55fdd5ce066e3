#include "loader/OVTrackSvcForm.h"

#include "loader/LoaderLog.h"
#include "loader/TrackingRetention.h"

#include "shared/config/SettingsFile.h"

#include <QLocale>

#include <chrono>
#include <thread>

TsvcOVTrack::TsvcOVTrack(const QString &appDir, QStringList startParameters)
    : AppDir(withTrailingSeparator(appDir)), TrackFileExtensions{QStringLiteral(".qzd"),
                                                                 QStringLiteral(".csv")},
      ShortDateFormat(QLocale::system().dateFormat(QLocale::ShortFormat)), adoConn1(AppDir),
      Sleep([](int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }),
      m_startParameters(std::move(startParameters)),
      m_log(std::make_unique<LoaderLog>(AppDir + QStringLiteral("importtrack.log"))),
      qryInsertTracking(adoConn1), qryUpdateTracking(adoConn1), ReceiptUpdate(adoConn1),
      UpdateReadStatusQuery(adoConn1), qryErrorMsgRowsToUpdate(adoConn1),
      qryErrorStatusRowsToUpdate(adoConn1),
      LowDeliveryLookup(adoConn1, &SqlDialect::lowDeliverySql, &SqlDialect::lowDeliveryBoundSql),
      ExistingRowLookup(adoConn1, &SqlDialect::existingRowSql, &SqlDialect::existingRowBoundSql),
      MessageLocks(adoConn1)
{
    defineWriteStatements();
    defineReceiptStatements();
}

TsvcOVTrack::~TsvcOVTrack()
{
    m_log->close();
}
