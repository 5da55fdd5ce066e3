#include "tests/packaging/BuiltPackages.h"

#include "tests/support/TestFolder.h"
#include "tools/prepare-run/ProgramFolder.h"
#include "tools/sample-tracking/SampleTracking.h"

#include "shared/config/DataLinkFile.h"
#include "shared/tracking/DbConnection.h"
#include "shared/tracking/DbStatement.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

namespace {

const QString Common = QStringLiteral("ovtrack-common");
const QString Loader = QStringLiteral("ovtrack-loader");
const QString Viewer = QStringLiteral("ovtrack-viewer");

class Packages : public ::testing::Test
{
protected:
    // True when the listing has the entry "mode root/root path" (for a link, "path -> target").
    bool holds(const QString &package, const QString &mode, const QString &path) const
    {
        return m_packages.contents(package).contains(mode + QStringLiteral(" root/root ") + path);
    }
    // The names of a Depends field without their versions.
    QStringList dependencyNames(const QString &package) const
    {
        QStringList names;
        for (const QString &entry : m_packages.field(package, QStringLiteral("Depends")).split(u','))
            names << entry.trimmed().section(u' ', 0, 0);
        return names;
    }

    BuiltPackages m_packages;
};

TEST_F(Packages, ProgramsSitInTheProgramFolderWithCommandsOnThePath)
{
    EXPECT_TRUE(holds(Loader, QStringLiteral("-rwxr-xr-x"), QStringLiteral("usr/lib/ovtrack/OVTrackSvc")));
    EXPECT_TRUE(holds(Loader, QStringLiteral("lrwxrwxrwx"),
                      QStringLiteral("usr/sbin/OVTrackSvc -> ../lib/ovtrack/OVTrackSvc")));
    EXPECT_TRUE(holds(Viewer, QStringLiteral("-rwxr-xr-x"), QStringLiteral("usr/lib/ovtrack/OVTrack")));
    EXPECT_TRUE(holds(Viewer, QStringLiteral("-rwxr-xr-x"), QStringLiteral("usr/lib/ovtrack/zlbarchive")));
    EXPECT_TRUE(holds(Viewer, QStringLiteral("lrwxrwxrwx"),
                      QStringLiteral("usr/bin/OVTrack -> ../lib/ovtrack/OVTrack")));
    EXPECT_TRUE(holds(Viewer, QStringLiteral("lrwxrwxrwx"),
                      QStringLiteral("usr/bin/zlbarchive -> ../lib/ovtrack/zlbarchive")));
}

TEST_F(Packages, ProgramFolderLeadsToConfigurationAndLog)
{
    // The defaults; configure makes them 0640 root:ovtrack (see FirstRun).
    EXPECT_TRUE(holds(Common, QStringLiteral("-rw-r--r--"), QStringLiteral("etc/ovtrack/settings.txt")));
    EXPECT_TRUE(holds(Common, QStringLiteral("-rw-r--r--"), QStringLiteral("etc/ovtrack/qztrack.udl")));
    EXPECT_TRUE(holds(Common, QStringLiteral("lrwxrwxrwx"),
                      QStringLiteral("usr/lib/ovtrack/settings.txt -> /etc/ovtrack/settings.txt")));
    EXPECT_TRUE(holds(Common, QStringLiteral("lrwxrwxrwx"),
                      QStringLiteral("usr/lib/ovtrack/qztrack.udl -> /etc/ovtrack/qztrack.udl")));
    EXPECT_TRUE(holds(Loader, QStringLiteral("lrwxrwxrwx"),
                      QStringLiteral("usr/lib/ovtrack/importtrack.log -> /var/log/ovtrack/importtrack.log")));
    EXPECT_EQ(m_packages.controlFile(Common, QStringLiteral("conffiles")),
              QStringLiteral("/etc/ovtrack/qztrack.udl\n/etc/ovtrack/settings.txt\n"));
    EXPECT_EQ(m_packages.controlFile(Loader, QStringLiteral("conffiles")),
              QStringLiteral("/etc/logrotate.d/ovtrack-loader\n"));
}

TEST_F(Packages, EveryPackageHasItsChangelogCopyrightAndManualPages)
{
    for (const QString &package : {Common, Loader, Viewer}) {
        EXPECT_TRUE(holds(package, QStringLiteral("-rw-r--r--"),
                          QStringLiteral("usr/share/doc/%1/copyright").arg(package)))
            << package.toStdString();
        EXPECT_TRUE(holds(package, QStringLiteral("-rw-r--r--"),
                          QStringLiteral("usr/share/doc/%1/changelog.gz").arg(package)))
            << package.toStdString();
        EXPECT_EQ(m_packages.field(package, QStringLiteral("Version")), m_packages.version());
    }
    EXPECT_TRUE(
        holds(Loader, QStringLiteral("-rw-r--r--"), QStringLiteral("usr/share/man/man8/OVTrackSvc.8.gz")));
    EXPECT_TRUE(
        holds(Viewer, QStringLiteral("-rw-r--r--"), QStringLiteral("usr/share/man/man1/OVTrack.1.gz")));
    EXPECT_TRUE(
        holds(Viewer, QStringLiteral("-rw-r--r--"), QStringLiteral("usr/share/man/man1/zlbarchive.1.gz")));
}

TEST_F(Packages, ViewerAppearsInTheApplicationMenu)
{
    EXPECT_TRUE(holds(Viewer, QStringLiteral("-rw-r--r--"),
                      QStringLiteral("usr/share/applications/ovtrack.desktop")));
    EXPECT_TRUE(holds(Viewer, QStringLiteral("-rw-r--r--"),
                      QStringLiteral("usr/share/icons/hicolor/scalable/apps/ovtrack.svg")));
    const QString validate = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validate.isEmpty())
        GTEST_SKIP() << "desktop-file-validate is not installed";
    TestFolder root;
    m_packages.unpack(Viewer, root.path());
    const BuiltPackages::Output checked = BuiltPackages::run(
        validate, {root.path() + QStringLiteral("usr/share/applications/ovtrack.desktop")});
    EXPECT_EQ(checked.exitCode, 0) << checked.standardOutput.toStdString();
}

TEST_F(Packages, DependsComeFromTheLibrariesTheProgramsLink)
{
    const QStringList loader = dependencyNames(Loader);
    // Found by the library scan: nobody typed these.
    // Each database's client library is linked, so found by the scan: SQLite, libpq and unixODBC.
    for (const char *library : {"libc6", "libqt6core6", "libsystemd0", "libstdc++6", "libsqlite3-0", "libpq5", "libodbc2"})
        EXPECT_TRUE(loader.contains(QLatin1String(library))) << library;
    EXPECT_FALSE(loader.contains(QStringLiteral("libqt6sql6"))) << "no Qt SQL driver is loaded any more";
    // The SQL Server driver is an ODBC plugin, loaded by name: recommended by hand.
    EXPECT_TRUE(m_packages.field(Loader, QStringLiteral("Recommends")).contains(QStringLiteral("tdsodbc")));
    EXPECT_TRUE(dependencyNames(Common).contains(QStringLiteral("adduser"))) << "it makes the user";
    EXPECT_TRUE(m_packages.field(Loader, QStringLiteral("Depends"))
                    .contains(QStringLiteral("ovtrack-common (= %1)").arg(m_packages.version())));
    EXPECT_FALSE(loader.contains(QStringLiteral("libqt6widgets6"))) << "the service draws no window";

    const QStringList viewer = dependencyNames(Viewer);
    for (const char *library : {"libc6", "libqt6widgets6", "libqt6gui6", "libqt6printsupport6", "zlib1g"})
        EXPECT_TRUE(viewer.contains(QLatin1String(library))) << library;
    EXPECT_EQ(m_packages.field(Common, QStringLiteral("Architecture")), QStringLiteral("all"));
}

TEST_F(Packages, MaintainerScriptsAreExecutable)
{
    const std::pair<QString, QStringList> scripts[] = {
        {Loader, {QStringLiteral("./postinst"), QStringLiteral("./prerm"), QStringLiteral("./postrm")}},
        {Common, {QStringLiteral("./postinst"), QStringLiteral("./postrm")}}};
    for (const auto &[package, names] : scripts) {
        const BuiltPackages::Output control = BuiltPackages::run(
            QStringLiteral("sh"),
            {QStringLiteral("-c"), QStringLiteral("dpkg-deb --ctrl-tarfile \"$0\" | tar -tvf -"),
             m_packages.deb(package)});
        ASSERT_EQ(control.exitCode, 0) << control.standardError.toStdString();
        const QStringList lines = control.standardOutput.split(u'\n');
        for (const QString &script : names) {
            const auto line = std::find_if(lines.begin(), lines.end(),
                                           [&](const QString &l) { return l.endsWith(script); });
            ASSERT_NE(line, lines.end()) << package.toStdString() << script.toStdString();
            EXPECT_TRUE(line->startsWith(QStringLiteral("-rwxr-xr-x root/root"))) << line->toStdString();
        }
    }
}

// Mended fault: the unit scored 8.5 ("EXPOSED") in systemd's exposure rating.
TEST_F(Packages, UnitScoresOkInSystemdsExposureRating)
{
    const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
    if (analyze.isEmpty())
        GTEST_SKIP() << "systemd-analyze is not installed";
    TestFolder root;
    m_packages.unpack(Loader, root.path());
    const BuiltPackages::Output rated = BuiltPackages::run(
        analyze, {QStringLiteral("security"), QStringLiteral("--offline=yes"), QStringLiteral("--no-pager"),
                  root.path() + QStringLiteral("lib/systemd/system/svcOVTrack.service")});
    static const QRegularExpression overall(
        QStringLiteral("Overall exposure level for svcOVTrack.service: ([0-9.]+)"));
    const QRegularExpressionMatch match = overall.match(rated.standardOutput + rated.standardError);
    ASSERT_TRUE(match.hasMatch()) << rated.standardOutput.toStdString() << rated.standardError.toStdString();
    EXPECT_LE(match.captured(1).toDouble(), 2.5) << rated.standardOutput.toStdString();
}

// Mended faults: the programs were built without Debian's hardening flags and kept the compiler's
// .comment section. lintian judges the whole packages besides.
TEST_F(Packages, LintianFindsNoErrorWarningOrHardeningTag)
{
    const QString lintian = QStandardPaths::findExecutable(QStringLiteral("lintian"));
    if (lintian.isEmpty())
        GTEST_SKIP() << "lintian is not installed";
    const BuiltPackages::Output checked =
        BuiltPackages::run(lintian, {QStringLiteral("--pedantic"), QStringLiteral("--no-tag-display-limit"),
                                     m_packages.deb(Common), m_packages.deb(Loader), m_packages.deb(Viewer)});
    for (const QString &line : checked.standardOutput.split(u'\n', Qt::SkipEmptyParts)) {
        EXPECT_FALSE(line.startsWith(QStringLiteral("E: ")) || line.startsWith(QStringLiteral("W: ")))
            << line.toStdString();
        for (const char *tag : {"hardening-no-bindnow", "hardening-no-fortify-functions",
                                "hardening-no-relro", "binary-has-unneeded-section"})
            EXPECT_FALSE(line.contains(QLatin1String(tag))) << line.toStdString();
    }
}

// The check as the monitoring systems look for it, and the packaged settings written for systemd.
TEST_F(Packages, CheckIsAPluginAndTheSettingsSpeakOfSystemd)
{
    EXPECT_TRUE(
        holds(Viewer, QStringLiteral("-rwxr-xr-x"), QStringLiteral("usr/lib/nagios/plugins/check_ovtrack")));
    TestFolder root;
    m_packages.unpack(Common, root.path());
    const QString settings = QString::fromLatin1(root.readFile(QStringLiteral("etc/ovtrack/settings.txt")));
    EXPECT_TRUE(settings.contains(QStringLiteral("sudo systemctl edit svcOVTrack")))
        << settings.toStdString();
    EXPECT_TRUE(settings.contains(QStringLiteral("shortdateformat is the order of day, month and year")));
    EXPECT_FALSE(settings.contains(QStringLiteral("Service Properties")));
}

TEST_F(Packages, UnitRunsTheLoaderHardenedAsItsOwnUser)
{
    TestFolder root;
    m_packages.unpack(Loader, root.path());
    QFile unit(root.path() + QStringLiteral("lib/systemd/system/svcOVTrack.service"));
    ASSERT_TRUE(unit.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(unit.readAll()).split(u'\n');
    for (const char *line :
         {"Type=notify", "User=ovtrack", "ExecStart=/usr/lib/ovtrack/OVTrackSvc", "WatchdogSec=300",
          "Restart=on-failure", "NoNewPrivileges=yes", "ProtectSystem=strict", "ProtectHome=yes",
          "PrivateTmp=yes", "ReadWritePaths=-/var/lib/orvane/tracking/ /var/lib/ovtrack /var/log/ovtrack",
          "UMask=0027", "CapabilityBoundingSet=", "SystemCallFilter=@system-service",
          "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6", "StateDirectory=ovtrack",
          "LogsDirectory=ovtrack"})
        EXPECT_TRUE(lines.contains(QLatin1String(line))) << line;

    const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
    if (analyze.isEmpty())
        GTEST_SKIP() << "systemd-analyze is not installed";
    // systemd checks that the program exists: the same unit, its program taken from the unpacked tree.
    TestFolder units;
    const QString text =
        lines.join(u'\n').replace(QStringLiteral("ExecStart=/"), QStringLiteral("ExecStart=") + root.path());
    units.writeFile(QStringLiteral("svcOVTrack.service"), text.toUtf8());
    const BuiltPackages::Output verified =
        BuiltPackages::run(analyze, {QStringLiteral("verify"), QStringLiteral("--man=no"),
                                     units.filePath(QStringLiteral("svcOVTrack.service"))});
    EXPECT_EQ(verified.exitCode, 0) << verified.standardError.toStdString();
}

// The unpacked loader, started through its command on the PATH, finds its configuration, database
// and log through the links of the program folder and imports a tracking folder in one pass.
TEST_F(Packages, UnpackedLoaderImportsOnceThroughThePackagedLayout)
{
    TestFolder root;
    m_packages.unpack(Common, root.path());
    m_packages.unpack(Loader, root.path());
    // What the postinst and an administrator do: the state and log folders, then the settings.
    const QString state = root.makeFolder(QStringLiteral("var/lib/ovtrack"));
    root.makeFolder(QStringLiteral("var/log/ovtrack"));
    const QString tracking = root.path() + QStringLiteral("tracking/");
    ProgramFolder::prepare(state, tracking);
    const QString database = state + QLatin1String(ProgramFolder::DatabaseName);
    ASSERT_TRUE(QFile::remove(root.path() + QStringLiteral("etc/ovtrack/settings.txt")));
    ASSERT_TRUE(QFile::rename(state + QStringLiteral("settings.txt"),
                              root.path() + QStringLiteral("etc/ovtrack/settings.txt")));
    ASSERT_TRUE(QFile::remove(state + QStringLiteral("qztrack.udl")));
    writeDataLinkFile(root.path() + QStringLiteral("etc/ovtrack/qztrack.udl"),
                      QStringLiteral("Provider=SQLite;Data Source=") + database);
    const SampleTracking::Summary written = SampleTracking().writeInto(tracking, 5);
    // Old enough to be taken at once.
    for (const QString &name : QDir(tracking).entryList(QDir::Files)) {
        QFile file(tracking + name);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(
            file.setFileTime(QDateTime::currentDateTime().addSecs(-600), QFileDevice::FileModificationTime));
    }

    const BuiltPackages::Output once =
        BuiltPackages::run(root.path() + QStringLiteral("usr/sbin/OVTrackSvc"),
                           {QStringLiteral("/ONCE"), QStringLiteral("/logging"), QStringLiteral("15")});
    const QString log = QString::fromUtf8(root.readFile(QStringLiteral("var/log/ovtrack/importtrack.log")));
    EXPECT_EQ(once.exitCode, 0) << once.standardError.toStdString() << log.toStdString();

    EXPECT_TRUE(
        QDir(tracking).entryList({QStringLiteral("*.qzd"), QStringLiteral("*.csv")}, QDir::Files).isEmpty());
    DbConnection connection(state);
    connection.open(sqliteConnectionString(database));
    DbStatement count(connection, QStringLiteral("select count(*) as n from Tracking"));
    EXPECT_EQ(count.open().integer(0, QStringLiteral("n")).value_or(-1), written.messages);
    connection.close();
    EXPECT_TRUE(log.contains(QStringLiteral("(1): InitialzeSettings: Logging started.")));
    EXPECT_TRUE(QFileInfo(root.path() + QStringLiteral("usr/lib/ovtrack/importtrack.log")).isSymLink());
}

TEST_F(Packages, EveryProgramAnswersVersionAndHelp)
{
    TestFolder root;
    m_packages.unpack(Loader, root.path());
    m_packages.unpack(Viewer, root.path());
    const QStringList commands{QStringLiteral("usr/sbin/OVTrackSvc"), QStringLiteral("usr/bin/OVTrack"),
                               QStringLiteral("usr/bin/zlbarchive")};
    for (const QString &command : commands) {
        const QString name = QFileInfo(command).fileName();
        const BuiltPackages::Output version =
            BuiltPackages::run(root.path() + command, {QStringLiteral("--version")});
        EXPECT_EQ(version.exitCode, 0) << name.toStdString();
        EXPECT_EQ(version.standardOutput, name + u' ' + m_packages.version() + u'\n');
        const BuiltPackages::Output help =
            BuiltPackages::run(root.path() + command, {QStringLiteral("--help")});
        EXPECT_EQ(help.exitCode, 0) << name.toStdString();
        EXPECT_TRUE(help.standardOutput.startsWith(QStringLiteral("Usage: ") + name))
            << help.standardOutput.toStdString();
    }
}

} // namespace
