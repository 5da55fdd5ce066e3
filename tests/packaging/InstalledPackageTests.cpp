#include "tests/packaging/BuiltPackages.h"

#include "tests/support/TestFolder.h"
#include "tools/sample-tracking/SampleTracking.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

QString sourceDir()
{
    return qEnvironmentVariable("OVTRACK_SOURCE_DIR", QStringLiteral(OVTRACK_DEFAULT_SOURCE_DIR));
}

struct FirstRunFacts
{
    QMap<QString, QString> facts;
    int messages = 0;
    QString fact(const char *name) const { return facts.value(QLatin1String(name)); }
};

// The packages installed into a scratch root and run there as a new administrator would (see
// tests/packaging/first-run): what it printed, by name. One run for every check below, each test
// being a process of its own.
// Mended faults, each checked below: the configuration, which may hold a password, was
// world-readable; the log was left for the first command to create, root's when run by root; the
// first database was root's, made by "sudo OVTrack --create-blank", so the service wrote nothing
// into it while /ONCE and the check said all was well; a monitoring user outside the group was
// told the database "does not exist"; purge deleted the system user and kept its database, for the
// next system user to inherit.
TEST(FirstRun, InstallSetUpImportCheckAndPurge)
{
    if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("unshare")).isEmpty())
        GTEST_SKIP() << "installing into a scratch root needs root and unshare";
    const BuiltPackages packages;
    TestFolder samples;
    FirstRunFacts run;
    run.messages = SampleTracking().writeInto(samples.path(), 5).messages;
    // Old enough to be taken at once.
    for (const QString &name : QDir(samples.path()).entryList(QDir::Files)) {
        QFile file(samples.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(
            file.setFileTime(QDateTime::currentDateTime().addSecs(-600), QFileDevice::FileModificationTime));
    }
    const BuiltPackages::Output output = BuiltPackages::run(
        sourceDir() + QStringLiteral("/tests/packaging/first-run"),
        {QFileInfo(packages.deb(QStringLiteral("ovtrack-common"))).path(), samples.path()});
    ASSERT_EQ(output.exitCode, 0) << output.standardError.toStdString();
    for (const QString &line : output.standardOutput.split(u'\n', Qt::SkipEmptyParts))
        run.facts.insert(line.section(u'=', 0, 0), line.section(u'=', 1));

    // Install: each file its owner and mode.
    EXPECT_EQ(run.fact("install"), QStringLiteral("0"));
    EXPECT_FALSE(run.facts.contains(QStringLiteral("install-message")))
        << run.fact("install-message").toStdString();
    EXPECT_EQ(run.fact("mode:/etc/ovtrack/settings.txt"), QStringLiteral("640 root:ovtrack"));
    EXPECT_EQ(run.fact("mode:/etc/ovtrack/qztrack.udl"), QStringLiteral("640 root:ovtrack"));
    EXPECT_EQ(run.fact("mode:/var/lib/ovtrack"), QStringLiteral("750 ovtrack:ovtrack"));
    EXPECT_EQ(run.fact("mode:/var/lib/ovtrack/tracking.db"), QStringLiteral("640 ovtrack:ovtrack"));
    EXPECT_EQ(run.fact("mode:/var/log/ovtrack"), QStringLiteral("755 ovtrack:ovtrack"));
    EXPECT_EQ(run.fact("mode:/var/log/ovtrack/importtrack.log"), QStringLiteral("640 ovtrack:adm"));
    EXPECT_EQ(run.fact("mode:/usr/lib/nagios/plugins/check_ovtrack"), QStringLiteral("755 root:root"));

    // The loader as ovtrack imports the sample files into the database the install made.
    EXPECT_EQ(run.fact("once"), QStringLiteral("0")) << run.fact("once-output").toStdString();
    EXPECT_EQ(run.fact("rows"), QString::number(run.messages));
    EXPECT_EQ(run.fact("waiting-tracking-files"), QStringLiteral("0"));

    // A dry run by root leaves the log the service's.
    EXPECT_EQ(run.fact("root-dry-run"), QStringLiteral("0"));
    EXPECT_EQ(run.fact("mode-after-root:/var/log/ovtrack/importtrack.log"),
              QStringLiteral("640 ovtrack:adm"));

    // The check as a member of the group ovtrack; outside it, the reason as it is.
    EXPECT_TRUE(run.fact("check").startsWith(QStringLiteral("OVTRACK OK - ")))
        << run.fact("check").toStdString();
    EXPECT_TRUE(run.fact("check").endsWith(QStringLiteral(" exit=0"))) << run.fact("check").toStdString();
    const QString outsider = run.fact("check-outsider");
    EXPECT_TRUE(outsider.startsWith(QStringLiteral("OVTRACK UNKNOWN - "))) << outsider.toStdString();
    EXPECT_TRUE(outsider.contains(QStringLiteral("ermission denied"))) << outsider.toStdString();
    EXPECT_TRUE(outsider.endsWith(QStringLiteral(" exit=3"))) << outsider.toStdString();

    // Purge: quiet, the user kept with its data, the log gone.
    EXPECT_EQ(run.fact("purge"), QStringLiteral("0"));
    EXPECT_FALSE(run.fact("purge-output").contains(QStringLiteral("warn"), Qt::CaseInsensitive))
        << run.fact("purge-output").toStdString();
    EXPECT_EQ(run.fact("user-after-purge"), QStringLiteral("ovtrack"));
    EXPECT_EQ(run.fact("database-after-purge"), QStringLiteral("kept"));
    EXPECT_EQ(run.fact("log-after-purge"), QStringLiteral("gone"));
}

} // namespace
