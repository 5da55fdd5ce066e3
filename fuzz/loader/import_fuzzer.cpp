#include "loader/OVTrackSvcForm.h"

#include "shared/tracking/SqlDialect.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

// One tracking file of arbitrary bytes through the import into a SQLite database. The loader, its
// folder and its database are made once per process; each input starts from an empty Tracking and
// an empty tracking folder. The first byte picks the file's extension and the short date format.
namespace {

class ImportBench
{
public:
    ImportBench() : m_loader(m_folder.path())
    {
        QDir(m_folder.path()).mkpath(QStringLiteral("tracking"));
        m_loader.Sleep = [](int) {};
        m_loader.TrackingDir = m_folder.path() + QStringLiteral("/tracking/");
        m_loader.TrackFileExtensions = {QStringLiteral(".qzd"), QStringLiteral(".csv")};
        m_loader.adoConn1.openCreating(QStringLiteral("Provider=SQLite;Data Source=") + m_folder.path() +
                                       QStringLiteral("/fuzz.db"));
        m_loader.adoConn1.execute(SqlDialect::create(Backend::Sqlite)->createTrackingSql());
        m_loader.adoConn1.execute(QStringLiteral("CREATE INDEX IX_Tracking_MsgID ON Tracking (MsgID)"));
        m_loader.OpenLog();
        m_loader.LoggingEnabled = true;
        m_loader.LoggingLevel = 15;
    }

    void import(const QByteArray &bytes, bool notifications, bool monthFirst)
    {
        m_loader.ShortDateFormat = monthFirst ? QStringLiteral("MM/dd/yyyy") : QStringLiteral("dd/MM/yyyy");
        const QString path =
            m_loader.TrackingDir + (notifications ? QStringLiteral("in.csv") : QStringLiteral("in.qzd"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            abort();
        file.write(bytes);
        // Old enough to be taken: the import leaves files alone while they may still be written.
        file.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime);
        file.close();
        m_loader.doImport();
        m_loader.adoConn1.execute(QStringLiteral("delete from Tracking"));
        QDir(m_loader.TrackingDir + QStringLiteral("errors")).removeRecursively();
        QFile::remove(path);
        m_loader.ReopenLog();
        QFile::resize(m_loader.LogFileName(), 0);
    }

private:
    QTemporaryDir m_folder;
    TsvcOVTrack m_loader;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static ImportBench bench;
    if (size == 0)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data) + 1, static_cast<qsizetype>(size - 1));
    bench.import(bytes, (data[0] & 1) != 0, (data[0] & 2) != 0);
    return 0;
}
