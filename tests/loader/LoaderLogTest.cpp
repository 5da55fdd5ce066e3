#include "tests/loader/LoaderFixture.h"

#include "loader/LoaderLog.h"

#include "Version.h"
#include "shared/text/WallClock.h"

#include <ostream>
#include <string>

namespace {

using LoaderLogTest = LoaderFixture;

TEST(LoaderLogLine, TimestampLevelAndTextEndInCrLf)
{
    const QDateTime when = WallClock::of(QDate(2013, 5, 2), QTime(14, 7, 9, 15));
    EXPECT_EQ(LoaderLog::formatLine(when, 1, QStringLiteral("Connected to DB OK.")),
              QStringLiteral("2013-05-02 14:07:09:015>(1): Connected to DB OK.\r\n"));
    EXPECT_EQ(LoaderLog::formatLine(when, -1, QStringLiteral("x")),
              QStringLiteral("2013-05-02 14:07:09:015>(-1): x\r\n"));
    EXPECT_EQ(
        LoaderLog::formatLine(WallClock::of(QDate(2013, 12, 31), QTime(23, 0)), 3, QStringLiteral("a\r\nb")),
        QStringLiteral("2013-12-31 23:00:00:000>(3): a\r\nb\r\n"));
}

TEST_F(LoaderLogTest, FileIsUtf8AndAppendedAcrossRestarts)
{
    TsvcOVTrack &first = loader();
    first.OpenLog();
    first.WriteLog(1, QStringLiteral("Zürich first run"));
    makeLoader(); // the first loader closes its log
    TsvcOVTrack &second = loader();
    second.OpenLog();
    second.WriteLog(1, QStringLiteral("second run"));
    const QString text = logText();
    EXPECT_TRUE(text.contains(QStringLiteral("(1): Zürich first run\r\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("(1): second run\r\n")));
    EXPECT_LT(text.indexOf(QStringLiteral("first run")), text.indexOf(QStringLiteral("second run")));
}

TEST_F(LoaderLogTest, NoRegistryValueAndNoParameterLogsServiceLevelOnly)
{
    TsvcOVTrack &l = loader();
    l.OpenLog();
    l.WriteLog(2, QStringLiteral("an error line"));
    const QStringList lines = logLines();
    ASSERT_GE(lines.size(), 6);
    EXPECT_EQ(lines[0], QStringLiteral("(-1): Logging is: True"));
    EXPECT_EQ(lines[1], QStringLiteral("(-1): LoggingLevel is: 1"));
    EXPECT_EQ(lines[2],
              QStringLiteral("(-1): Service (App.) File Version: ") + QLatin1String(ovtrack::FileVersion));
    EXPECT_EQ(lines[3], QStringLiteral("(-1): Command Line String: "));
    EXPECT_EQ(lines[4], QStringLiteral("(1): InitialzeSettings: Logging started."));
    EXPECT_EQ(lines[5], QStringLiteral("(1): InitialzeSettings: Log file = ") + folder().path() +
                            QStringLiteral("importtrack.log"));
    EXPECT_FALSE(logText().contains(QStringLiteral("an error line")));
}

TEST_F(LoaderLogTest, StartParameterInCapitalsSetsTheMask)
{
    TsvcOVTrack &l =
        makeLoader({QStringLiteral("svcOVTrack"), QStringLiteral("/LOGGING"), QStringLiteral("6")});
    l.OpenLog();
    l.WriteLog(1, QStringLiteral("service line"));
    l.WriteLog(2, QStringLiteral("error line"));
    l.WriteLog(4, QStringLiteral("notification line"));
    const QString text = logText();
    EXPECT_TRUE(text.contains(QStringLiteral("(-1): LoggingLevel is: 6\r\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("(-1): Command Line String: /LOGGING 6\r\n")));
    EXPECT_FALSE(text.contains(QStringLiteral("service line")));
    EXPECT_FALSE(text.contains(QStringLiteral("Logging started.")));
    EXPECT_TRUE(text.contains(QStringLiteral("(2): error line")));
    EXPECT_TRUE(text.contains(QStringLiteral("(4): notification line")));
}

TEST_F(LoaderLogTest, StartParameterWinsOverTheRegistry)
{
    setRegistryLevel(15);
    TsvcOVTrack &l = makeLoader({QStringLiteral("svcOVTrack"), QStringLiteral("-x"),
                                 QStringLiteral("/logging"), QStringLiteral("2"), QStringLiteral("tail")});
    l.OpenLog();
    EXPECT_EQ(l.LoggingLevel, 2);
    EXPECT_TRUE(logText().contains(QStringLiteral("Command Line String: -x /logging 2\r\n")));
}

struct MaskCase
{
    QStringList parameters;
    QVariant registry;
    int level;
    bool enabled;
};

class LoggingLevelSource : public LoaderFixture, public ::testing::WithParamInterface<MaskCase>
{
};

TEST_P(LoggingLevelSource, GivesLevelAndSwitch)
{
    const MaskCase &c = GetParam();
    if (c.registry.isValid())
        setRegistryLevel(c.registry);
    TsvcOVTrack &l = makeLoader(QStringList{QStringLiteral("svcOVTrack")} + c.parameters);
    l.OpenLog();
    EXPECT_EQ(l.LoggingLevel, c.level);
    EXPECT_EQ(l.LoggingEnabled, c.enabled);
    // The four lines of the settings are written whatever the outcome.
    EXPECT_EQ(logText().count(QStringLiteral("(-1): ")), 4);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, LoggingLevelSource,
    ::testing::Values(MaskCase{{QStringLiteral("/logging"), QStringLiteral("abc")}, {}, 0, false},
                      MaskCase{{QStringLiteral("/logging"), QStringLiteral("-3")}, {}, -3, false},
                      MaskCase{{QStringLiteral("/logging"), QStringLiteral("15")}, {}, 15, true},
                      MaskCase{{QStringLiteral("/logging")}, {}, 1, true},
                      MaskCase{{}, QVariant(12), 12, true},
                      MaskCase{{}, QVariant(QStringLiteral("lots")), 1, true},
                      MaskCase{{}, QVariant(0), 0, false}));

struct LevelCase
{
    int mask;
    int level;
    bool written;
};

void PrintTo(const LevelCase &c, std::ostream *os)
{
    *os << "mask " << c.mask << ", level " << c.level << (c.written ? ", written" : ", dropped");
}

class LevelMask : public LoaderFixture, public ::testing::WithParamInterface<LevelCase>
{
};

TEST_P(LevelMask, WritesWhenTheMaskSharesABit)
{
    const LevelCase &c = GetParam();
    TsvcOVTrack &l = loader();
    l.OpenLog();
    l.LoggingLevel = c.mask;
    l.LoggingEnabled = c.mask > 0;
    l.WriteLog(c.level, QStringLiteral("probe line"));
    EXPECT_EQ(logText().contains(QStringLiteral("(%1): probe line").arg(c.level)), c.written);
}

INSTANTIATE_TEST_SUITE_P(Levels, LevelMask,
                         ::testing::Values(LevelCase{2, 3, true}, LevelCase{1, 3, true},
                                           LevelCase{4, 3, false}, LevelCase{8, 8, true},
                                           LevelCase{7, 8, false}, LevelCase{0, -1, true},
                                           LevelCase{0, 1, false}, LevelCase{15, 2, true}),
                         // Named and printed by value: as raw bytes, the padding after `written`
                         // would give a test a different name in every build.
                         [](const ::testing::TestParamInfo<LevelCase> &info) {
                             const auto number = [](int n) {
                                 return n < 0 ? "Minus" + std::to_string(-n) : std::to_string(n);
                             };
                             return "Mask" + number(info.param.mask) + "Level" + number(info.param.level);
                         });

TEST_F(LoaderLogTest, LevelMinusOneIsWrittenWithLoggingOff)
{
    TsvcOVTrack &l = loader();
    l.OpenLog();
    l.LoggingEnabled = false;
    l.WriteLog(1, QStringLiteral("dropped"));
    l.WriteLog(-1, QStringLiteral("always"));
    const QString text = logText();
    EXPECT_FALSE(text.contains(QStringLiteral("dropped")));
    EXPECT_TRUE(text.contains(QStringLiteral("(-1): always\r\n")));
}

TEST_F(LoaderLogTest, ReopenWritesOutBufferedLines)
{
    TsvcOVTrack &l = loader();
    l.OpenLog();
    l.WriteLog(1, QStringLiteral("buffered line"));
    l.ReopenLog();
    EXPECT_TRUE(folder().readFile(QStringLiteral("importtrack.log")).contains("buffered line"));
}

TEST_F(LoaderLogTest, UnopenableLogTurnsLoggingOffAndWritingNeverFails)
{
    folder().makeFolder(QStringLiteral("importtrack.log")); // a folder where the file should be
    TsvcOVTrack &l = loader();
    l.OpenLog();
    EXPECT_FALSE(l.LoggingEnabled);
    EXPECT_NO_THROW(l.WriteLog(-1, QStringLiteral("nowhere to go")));
    EXPECT_THROW(l.ReopenLog(), std::runtime_error);
}

} // namespace
