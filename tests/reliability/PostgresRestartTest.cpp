#include "loader/OVTrackSvcForm.h"
#include "tests/reliability/NewMessageLine.h"
#include "tests/service/FileAge.h"
#include "tests/service/ScriptedControl.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/TestFolder.h"
#include "tools/prepare-run/ProgramFolder.h"

#include "shared/tracking/DbStatement.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

// The server database restarted while the service waits between passes, or not yet running when
// the service starts: the service waits it out like any lost connection and imports what came.
// The loader runs in this process, turn by turn, its waits recorded instead of slept, on a server
// of the test's own (the run's shared server must not restart under other tests).
namespace {

constexpr int BackOffMilliseconds = 10000;

class PostgresRestart : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (!PostgresServer::unavailableReason().isEmpty())
            return;
        s_folder = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/ovpgrst-XXXXXX"));
        s_server = std::make_unique<PostgresServer>(s_folder->path());
        if (!s_server->start(&s_startError))
            s_server.reset();
    }
    static void TearDownTestSuite()
    {
        if (s_server)
            s_server->stop();
        s_server.reset();
        s_folder.reset();
    }

    void SetUp() override
    {
        if (const QString missing = PostgresServer::unavailableReason(); !missing.isEmpty())
            GTEST_SKIP() << missing.toStdString();
        ASSERT_TRUE(s_server) << s_startError.toStdString();
        if (!s_server->isRunning()) {
            ASSERT_TRUE(s_server->start());
        }
        const QString name =
            QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name()).toLower();
        {
            DbConnection admin(QStringLiteral("/"));
            admin.open(s_server->connectionString(QStringLiteral("postgres")));
            admin.execute(QStringLiteral("DROP DATABASE IF EXISTS ") + name);
            admin.execute(QStringLiteral("CREATE DATABASE ") + name);
        }
        m_connection = s_server->connectionString(name);
        ProgramFolder::prepare(m_folder.path(), trackingDir(), m_connection);
        m_loader = std::make_unique<TsvcOVTrack>(
            m_folder.path(),
            QStringList{QStringLiteral("svcOVTrack"), QStringLiteral("/logging"), QStringLiteral("3")});
        m_loader->Sleep = [this](int milliseconds) { m_sleeps.push_back(milliseconds); };
    }

    QString trackingDir() const { return m_folder.path() + QStringLiteral("tracking/"); }
    void drop(const QString &name, const QString &msgId) const
    {
        makeSettled(m_folder.writeFile(QStringLiteral("tracking/") + name,
                                       (newMessageLine(msgId) + QStringLiteral("\r\n")).toUtf8()));
    }
    qint64 rows()
    {
        DbConnection db(m_folder.path());
        db.open(m_connection);
        DbStatement count(db, QStringLiteral("select count(distinct MsgID) as n from Tracking"));
        return count.open().integer(0, QStringLiteral("n")).value_or(-1);
    }
    QString log() const { return QString::fromUtf8(m_folder.readFile(QStringLiteral("importtrack.log"))); }
    long backOffTurns() const { return std::count(m_sleeps.begin(), m_sleeps.end(), BackOffMilliseconds); }

    static std::unique_ptr<QTemporaryDir> s_folder;
    static std::unique_ptr<PostgresServer> s_server;
    static QString s_startError;

    TestFolder m_folder;
    QString m_connection;
    std::unique_ptr<TsvcOVTrack> m_loader;
    std::vector<int> m_sleeps;
};

std::unique_ptr<QTemporaryDir> PostgresRestart::s_folder;
std::unique_ptr<PostgresServer> PostgresRestart::s_server;
QString PostgresRestart::s_startError;

// Mended fault: the first statement after the restart (the check for the Tracking table) found the
// session gone and ended the service.
TEST_F(PostgresRestart, ServerRestartedBetweenPassesIsWaitedOutAndLaterFilesAreImported)
{
    drop(QStringLiteral("a.qzd"), QStringLiteral("R1"));
    ScriptedControl control(31, {{12, [&] {
                                      s_server->stop();
                                      ASSERT_TRUE(s_server->start());
                                      drop(QStringLiteral("b.qzd"), QStringLiteral("R2"));
                                  }}});
    EXPECT_NO_THROW(m_loader->ServiceExecute(control));
    m_loader->ServiceDestroy();

    EXPECT_EQ(rows(), 2);
    EXPECT_EQ(QDir(trackingDir()).entryList({QStringLiteral("*.qzd")}, QDir::Files).size(), 0);
    EXPECT_FALSE(QDir(trackingDir() + QStringLiteral("errors")).exists());
    const QString text = log();
    // The pass at turn 20 finds the session gone; the one at turn 30 reconnects and imports.
    EXPECT_EQ(text.count(QStringLiteral("(3): Database Connection Lost. Waiting 100 Seconds.")), 1) << text.toStdString();
    EXPECT_EQ(text.count(QStringLiteral("(1): Database Connection Reconnected")), 1);
    EXPECT_EQ(backOffTurns(), 10);
}

// Mended fault: start-up halted on the failed connection and then ended the service on the first
// schema check.
TEST_F(PostgresRestart, ServiceStartedWhileTheServerIsDownImportsOnceItIsUp)
{
    drop(QStringLiteral("a.qzd"), QStringLiteral("S1"));
    ASSERT_TRUE(s_server->stop());
    ScriptedControl control(21, {{15, [&] { ASSERT_TRUE(s_server->start()); }}});
    EXPECT_NO_THROW(m_loader->ServiceExecute(control));
    m_loader->ServiceDestroy();

    EXPECT_FALSE(m_loader->ProcessingHalted);
    EXPECT_EQ(rows(), 1);
    EXPECT_FALSE(QFile::exists(trackingDir() + QStringLiteral("a.qzd")));
    const QString text = log();
    EXPECT_TRUE(text.contains(QStringLiteral("(1): DB Connection failed: ")));
    // Start-up and the attempt at turn 10 find no server; the one at turn 20 connects.
    EXPECT_EQ(text.count(QStringLiteral("(3): Database Connection Lost. Waiting 100 Seconds.")), 2) << text.toStdString();
    EXPECT_EQ(text.count(QStringLiteral("(1): Database Connection Reconnected")), 1);
    EXPECT_EQ(backOffTurns(), 20);
}

} // namespace
