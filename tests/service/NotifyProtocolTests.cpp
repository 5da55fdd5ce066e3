#include "tests/service/LoaderProgram.h"
#include "tests/service/NotifySocket.h"

#include "tools/sample-tracking/SampleTracking.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <signal.h>

namespace {

const QString Ready = QStringLiteral("READY=1");
const QString Alive = QStringLiteral("WATCHDOG=1");
const QString Stopping = QStringLiteral("STOPPING=1");
// Start-up may take longer than systemd's start time-out: 30 s more, again every 10 s until ready.
const QString ExtendStartUp = QStringLiteral("EXTEND_TIMEOUT_USEC=30000000");

// The real loader under a notify socket this test holds, as systemd runs it with Type=notify.
class NotifyProtocol : public ::testing::Test
{
protected:
    QStringList environment(const QStringList &more = {}) const
    {
        return QStringList{QStringLiteral("NOTIFY_SOCKET=") + m_socket.path()} + more;
    }

    LoaderProgram m_loader;
    NotifySocket m_socket{m_loader.folder() + QStringLiteral("notify")};
};

TEST_F(NotifyProtocol, ReadyAfterStartUpAliveEveryTurnStoppingOnSigterm)
{
    SampleTracking samples;
    const QString msgId = SampleTracking::messageId(1);
    m_loader.dropTracking(QStringLiteral("new.qzd"),
                          {SampleTracking::headerLine(), samples.newMessageLine(msgId)});
    m_loader.start({QStringLiteral("/logging"), QStringLiteral("15")}, 20, environment());

    ASSERT_TRUE(m_socket.waitFor(Ready, 60000));
    // The import runs at the tenth turn, so ten keep-alives were sent before the file went.
    ASSERT_TRUE(LoaderProgram::waitFor([&] { return m_loader.waitingFiles() == 0; }, 60000));
    const QStringList beforeStop = m_socket.received();
    ASSERT_GE(beforeStop.size(), 2);
    EXPECT_EQ(beforeStop.at(0), ExtendStartUp);
    EXPECT_EQ(beforeStop.at(1), Ready);
    EXPECT_GE(beforeStop.count(Alive), 10);
    EXPECT_EQ(beforeStop.count(Ready), 1);
    EXPECT_FALSE(beforeStop.contains(Stopping));

    m_loader.sendSignal(SIGTERM);
    EXPECT_EQ(m_loader.waitForExit(60000), 0);
    const QStringList all = m_socket.received();
    EXPECT_EQ(all.count(Stopping), 1);
    EXPECT_EQ(all.count(Ready), 1);
    EXPECT_EQ(m_loader.rowCount(QStringLiteral("Tracking")), 1);
}

// While paused no turn runs (the end-to-end tests show that), yet a watched service must not look
// hung: the keep-alives go on at half the watchdog period until the continue.
TEST_F(NotifyProtocol, PausedServiceKeepsTheWatchdogFed)
{
    m_loader.start({}, 20, environment({QStringLiteral("WATCHDOG_USEC=100000")}));
    ASSERT_TRUE(m_socket.waitFor(Ready, 60000));
    m_loader.sendSignal(SIGUSR1);
    const qsizetype beforePause = m_socket.received().count(Alive);
    ASSERT_TRUE(
        LoaderProgram::waitFor([&] { return m_socket.received().count(Alive) >= beforePause + 30; }, 60000));
    m_loader.sendSignal(SIGUSR2);
    m_loader.sendSignal(SIGTERM);
    EXPECT_EQ(m_loader.waitForExit(60000), 0);
    const QStringList all = m_socket.received();
    EXPECT_EQ(all.count(Ready), 1);
    EXPECT_EQ(all.count(Stopping), 1);
}

TEST_F(NotifyProtocol, StartUpFailureNeverSignalsReady)
{
    QFile::remove(m_loader.folder() + QStringLiteral("settings.txt"));
    QDir().mkpath(m_loader.folder() + QStringLiteral("settings.txt")); // a folder cannot be read as a file
    m_loader.start({}, 20, environment());
    EXPECT_EQ(m_loader.waitForExit(60000), 1);
    EXPECT_FALSE(m_socket.received().contains(Ready));
}

TEST_F(NotifyProtocol, StartUpErrorThatEndsTheServiceNeverSignalsReady)
{
    QFile::remove(m_loader.folder() + QStringLiteral("qztrack.udl"));
    QFile::remove(m_loader.folder() + QStringLiteral("tracking.db"));
    m_loader.start({}, 20, environment());
    const std::optional<int> status = m_loader.waitForExit(60000);
    ASSERT_TRUE(status.has_value());
    EXPECT_NE(*status, 0);
    EXPECT_FALSE(m_socket.received().contains(Ready));
}

} // namespace
