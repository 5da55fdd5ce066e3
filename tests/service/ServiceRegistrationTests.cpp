#include "tests/service/LoaderProgram.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <ostream>

#include <sys/types.h>
#include <unistd.h>

namespace {

const QString UnitName = QStringLiteral("svcOVTrack.service");

// The account a root-owned test folder is given, so that a folder install under root has an owner
// that is not root.
constexpr uid_t Nobody = 65534;

class Registration : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(QFile::encodeName(m_loader.folder()).constData(), Nobody, Nobody), 0);
        }
    }
    LoaderProgram::Result run(const QStringList &arguments, const QString &unitFolder)
    {
        return m_loader.run(arguments, {QStringLiteral("OVTRACK_UNIT_DIR=") + unitFolder});
    }
    // A copy of the program in `folder`, run with the arguments against the test's unit folder.
    LoaderProgram::Result runCopyIn(const QString &folder, const QStringList &arguments)
    {
        if (!QFile::copy(m_loader.programPath(), folder + QStringLiteral("OVTrackSvc")))
            return {};
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("OVTRACK_UNIT_DIR"), m_units.path());
        process.setProcessEnvironment(env);
        process.start(folder + QStringLiteral("OVTrackSvc"), arguments);
        if (!process.waitForFinished(30000))
            return {};
        return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
                QString::fromLocal8Bit(process.readAllStandardError())};
    }
    QString unitPath() const { return m_units.path() + UnitName; }
    QString unitText() const
    {
        QFile file(unitPath());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    LoaderProgram m_loader;
    TestFolder m_units;
};

struct SwitchCase
{
    QStringList install;
    QStringList uninstall;
    bool silent;
};

void PrintTo(const SwitchCase &c, std::ostream *out)
{
    *out << c.install.join(u' ').toStdString() << " then " << c.uninstall.join(u' ').toStdString();
}

class RegistrationSwitches : public Registration, public ::testing::WithParamInterface<SwitchCase>
{
};

TEST_P(RegistrationSwitches, InstallWritesTheUnitAndUninstallRemovesIt)
{
    const SwitchCase &c = GetParam();
    const LoaderProgram::Result installed = run(c.install, m_units.path());
    EXPECT_EQ(installed.exitCode, 0) << installed.standardError.toStdString();
    EXPECT_EQ(installed.standardOutput,
              c.silent ? QString() : QStringLiteral("Service installed successfully\n"));
    EXPECT_TRUE(installed.standardError.isEmpty());
    ASSERT_TRUE(QFile::exists(unitPath()));

    const LoaderProgram::Result removed = run(c.uninstall, m_units.path());
    EXPECT_EQ(removed.exitCode, 0) << removed.standardError.toStdString();
    EXPECT_EQ(removed.standardOutput,
              c.silent ? QString() : QStringLiteral("Service uninstalled successfully\n"));
    EXPECT_FALSE(QFile::exists(unitPath()));
}

INSTANTIATE_TEST_SUITE_P(
    Spellings, RegistrationSwitches,
    ::testing::Values(SwitchCase{{"/INSTALL"}, {"/UNINSTALL"}, false},
                      SwitchCase{{"-install"}, {"-Uninstall"}, false},
                      SwitchCase{{"/Install", "/SILENT"}, {"/silent", "/uninstall"}, true},
                      SwitchCase{{"-SILENT", "-INSTALL"}, {"-UNINSTALL", "-silent"}, true}));

TEST_F(Registration, UnitStartsTheProgramAndReloadIsTheContinueRequest)
{
    ASSERT_EQ(run({QStringLiteral("/INSTALL")}, m_units.path()).exitCode, 0);
    const QStringList lines = unitText().split(u'\n');
    EXPECT_TRUE(lines.contains(QStringLiteral("Description=OVTrack Tracking Service")));
    EXPECT_TRUE(lines.contains(QStringLiteral("ExecStart=") + m_loader.programPath()));
    EXPECT_TRUE(lines.contains(QStringLiteral("ExecReload=/bin/kill -HUP $MAINPID")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Restart=on-failure")));
    EXPECT_TRUE(lines.contains(QStringLiteral("RestartSec=30")));
    EXPECT_TRUE(lines.contains(QStringLiteral("WantedBy=multi-user.target")));
}

// A folder install gets the packaged unit's hardening, with the folder's owner as its user and
// the folder (database, log) and the tracking folder as all it may write to.
TEST_F(Registration, FolderInstallRunsAsTheFolderOwnerAndWritesOnlyItsFolders)
{
    ASSERT_EQ(run({QStringLiteral("/INSTALL")}, m_units.path()).exitCode, 0);
    const QStringList lines = unitText().split(u'\n');
    const QString folder = QDir::cleanPath(m_loader.folder());
    EXPECT_TRUE(lines.contains(QStringLiteral("User=") + QFileInfo(folder).owner()));
    EXPECT_TRUE(lines.contains(QStringLiteral("ReadWritePaths=-%1 %2").arg(m_loader.trackingDir(), folder)))
        << unitText().toStdString();
    for (const char *line : {"Type=notify", "WatchdogSec=300", "NoNewPrivileges=yes", "ProtectSystem=strict",
                             "ProtectHome=yes", "PrivateTmp=yes"})
        EXPECT_TRUE(lines.contains(QLatin1String(line))) << line;
}

// systemd itself reads the unit: the program path must come through intact, blanks included.
TEST_F(Registration, SystemdAcceptsTheUnitEvenForAPathWithBlanks)
{
    const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
    if (analyze.isEmpty())
        GTEST_SKIP() << "systemd-analyze is not installed";
    const QString odd = m_units.makeFolder(QStringLiteral("Program Files 100%"));
    ASSERT_EQ(runCopyIn(odd, {QStringLiteral("/INSTALL"), QStringLiteral("/SILENT"), QStringLiteral("/USER"),
                              QStringLiteral("nobody")})
                  .exitCode,
              0);

    QProcess verify;
    verify.start(analyze, {QStringLiteral("verify"), QStringLiteral("--man=no"), unitPath()});
    ASSERT_TRUE(verify.waitForFinished(60000));
    EXPECT_EQ(verify.exitCode(), 0) << verify.readAllStandardError().toStdString();
    EXPECT_TRUE(unitText().contains(QStringLiteral("ExecStart=\"") +
                                    QString(odd).replace(u'%', QLatin1String("%%")) +
                                    QStringLiteral("OVTrackSvc\"")));
}

// Mended fault: /INSTALL on a packaged system wrote a unit running as root that overrode the
// package's own.
TEST_F(Registration, ProgramOfThePackageFolderIsRefusedWithTheWayToStartIt)
{
    const QString packaged = m_units.makeFolder(QStringLiteral("root/usr/lib/ovtrack"));
    const LoaderProgram::Result refused =
        runCopyIn(packaged, {QStringLiteral("/INSTALL"), QStringLiteral("/USER"), QStringLiteral("ovtrack")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.standardError.contains(QStringLiteral("systemctl enable --now svcOVTrack.service")))
        << refused.standardError.toStdString();
    EXPECT_FALSE(QFile::exists(unitPath()));
}

// Mended fault: a folder owned by root gave a unit with User=root.
TEST_F(Registration, FolderOfRootNeedsTheAccountNamed)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a test folder to root";
    ASSERT_EQ(::chown(QFile::encodeName(m_loader.folder()).constData(), 0, 0), 0);
    const LoaderProgram::Result refused = run({QStringLiteral("/INSTALL")}, m_units.path());
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.standardError.contains(QStringLiteral("/USER NAME")))
        << refused.standardError.toStdString();
    EXPECT_FALSE(QFile::exists(unitPath()));

    const LoaderProgram::Result named =
        run({QStringLiteral("/INSTALL"), QStringLiteral("/USER"), QStringLiteral("ovtrack")}, m_units.path());
    EXPECT_EQ(named.exitCode, 0) << named.standardError.toStdString();
    EXPECT_TRUE(unitText().split(u'\n').contains(QStringLiteral("User=ovtrack")));
}

struct FailureCase
{
    QStringList arguments;
    const char *unitFolder; // relative to the test's unit folder
    const char *message;
};

void PrintTo(const FailureCase &c, std::ostream *out)
{
    *out << c.arguments.join(u' ').toStdString() << " into '" << c.unitFolder << "'";
}

class RegistrationFailure : public Registration, public ::testing::WithParamInterface<FailureCase>
{
};

TEST_P(RegistrationFailure, PrintsTheFailureTextAndExitsWithOne)
{
    const FailureCase &c = GetParam();
    const QString folder = m_units.path() + QString::fromUtf8(c.unitFolder);
    const LoaderProgram::Result result = run(c.arguments, folder);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.standardOutput.isEmpty());
    EXPECT_TRUE(result.standardError.startsWith(QString::fromUtf8(c.message)))
        << result.standardError.toStdString();
    EXPECT_TRUE(result.standardError.endsWith(QStringLiteral("\"\n")));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegistrationFailure,
    ::testing::Values(FailureCase{{"/UNINSTALL"},
                                  "",
                                  "Service \"OVTrack Tracking Service\" failed to uninstall with error: \""},
                      FailureCase{{"/UNINSTALL", "/SILENT"},
                                  "",
                                  "Service \"OVTrack Tracking Service\" failed to uninstall with error: \""},
                      FailureCase{{"/INSTALL"},
                                  "missing/folder",
                                  "Service \"OVTrack Tracking Service\" failed to install with error: \""},
                      FailureCase{{"/INSTALL", "/SILENT"},
                                  "missing/folder",
                                  "Service \"OVTrack Tracking Service\" failed to install with error: \""}));

} // namespace
