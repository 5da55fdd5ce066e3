#include "tests/loader/LoaderFixture.h"

#include "shared/tracking/DbStatement.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>

void LoaderFixture::SetUp()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
                       m_folder.path() + QStringLiteral("xdg"));
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, m_folder.path() + QStringLiteral("xdg"));
    m_folder.makeFolder(QStringLiteral("tracking"));
    m_database = std::make_unique<TestDatabase>(backend(), m_folder.path());
    makeLoader();
}

void LoaderBackendFixture::SetUp()
{
    QString reason;
    if (GetParam() == Backend::PostgreSql && !TestPostgres::server(&reason))
        GTEST_SKIP() << "PostgreSQL: " << reason.toStdString();
    LoaderFixture::SetUp();
}

void LoaderFixture::TearDown()
{
    m_loader.reset();
    m_testConnection.reset();
    m_database.reset();
}

TsvcOVTrack &LoaderFixture::makeLoader(const QStringList &startParameters)
{
    m_loader.reset();
    m_loader = std::make_unique<TsvcOVTrack>(m_folder.path(), startParameters);
    m_loader->Sleep = [this](int ms) { m_sleeps.push_back(ms); };
    return *m_loader;
}

void LoaderFixture::setRegistryLevel(const QVariant &value)
{
    QSettings registry(QSettings::SystemScope, QStringLiteral("Tavisk"), QStringLiteral("OVTracking"));
    registry.setValue(QStringLiteral("LoggingLevel"), value);
    registry.sync();
}

void LoaderFixture::connectWithTracking(int level)
{
    sql(SqlDialect::create(backend())->createTrackingSql());
    sql(QStringLiteral("CREATE INDEX IX_Tracking_MsgID ON Tracking (MsgID)"));
    TsvcOVTrack &l = loader();
    l.adoConn1.open(connectionString());
    l.OpenLog();
    l.LoggingLevel = level;
    l.LoggingEnabled = level > 0;
    l.TrackingDir = trackingDir();
}

void LoaderFixture::sql(const QString &statement)
{
    if (!m_testConnection) {
        m_testConnection = std::make_unique<DbConnection>(m_folder.path());
        m_testConnection->openCreating(connectionString());
    }
    m_testConnection->execute(statement);
}

DbResult LoaderFixture::query(const QString &statement)
{
    if (!m_testConnection) {
        m_testConnection = std::make_unique<DbConnection>(m_folder.path());
        m_testConnection->openCreating(connectionString());
    }
    DbStatement s(*m_testConnection, statement);
    return s.open();
}

QString LoaderFixture::logText()
{
    if (m_loader)
        m_loader->CloseLog();
    return QString::fromUtf8(m_folder.readFile(QStringLiteral("importtrack.log")));
}

QStringList LoaderFixture::logLines()
{
    static const QRegularExpression stamp(QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3}>)"));
    QStringList lines = logText().split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    for (QString &line : lines)
        line.remove(stamp);
    return lines;
}

QString LoaderFixture::writeTrackingFile(const QString &name, const QByteArray &bytes, int secondsAgo)
{
    const QString path = m_folder.writeFile(QStringLiteral("tracking/") + name, bytes);
    QFile file(path);
    file.open(QIODevice::ReadWrite);
    file.setFileTime(QDateTime::currentDateTime().addSecs(-secondsAgo), QFileDevice::FileModificationTime);
    return path;
}

QString LoaderFixture::writeTrackingLines(const QString &name, const QStringList &lines, int secondsAgo)
{
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += line.toUtf8() + "\r\n";
    return writeTrackingFile(name, bytes, secondsAgo);
}

bool LoaderFixture::trackingFileExists(const QString &name) const
{
    return m_folder.exists(QStringLiteral("tracking/") + name);
}

QByteArray LoaderFixture::errorsCopy(const QString &name) const
{
    const QString relative = QStringLiteral("tracking/errors/") + name;
    return m_folder.exists(relative) ? m_folder.readFile(relative) : QByteArray();
}

QString trackingLine(const QString &msgId, const std::vector<std::pair<int, QString>> &fields, int fieldCount)
{
    QStringList values = {
        QStringLiteral("lab@pathology.example"),   // 1 sender
        QStringLiteral("PRAC1_result.hl7"),        // 2 file name
        QStringLiteral("2024-03-05 10:15:20"),     // 3 receive time
        QString(),                                 // 4 delivery time
        QStringLiteral("HL7"),                     // 5 file type
        QStringLiteral("LAB123"),                  // 6 lab reference
        QStringLiteral("2024-03-01 09:00:00"),     // 7 request date
        QStringLiteral("Dr#Addressee"),            // 8
        QStringLiteral("Dr#Requesting"),           // 9
        QStringLiteral("Smith#John Paul"),         // 10 patient
        QStringLiteral("1 High Street"),           // 11
        QStringLiteral("1970-02-03"),              // 12 date of birth
        QStringLiteral("PT42"),                    // 13
        QStringLiteral("FBC"),                     // 14
        QStringLiteral("2024-03-04 08:00:00"),     // 15
        QStringLiteral("2024-03-05 09:00:00"),     // 16
        QStringLiteral("RUN7"),                    // 17
        QStringLiteral("PRAC1@pathology.example"), // 18
        QString(),                                 // 19 status
    };
    while (values.size() < fieldCount - 1)
        values << QString();
    values = values.mid(0, fieldCount - 1);
    for (const auto &[position, value] : fields) {
        if (position >= 1 && position <= values.size())
            values[position - 1] = value;
    }
    values << msgId;
    return values.join(u',');
}
