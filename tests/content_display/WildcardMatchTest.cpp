#include "viewer/content/WildcardMatch.h"
#include "tests/archive/ArchiveFixture.h"

#include <QDir>

namespace {

struct MatchCase
{
    const char *pattern;
    const char *name;
    bool matches;
};

class WildcardTableTest : public ::testing::TestWithParam<MatchCase>
{
};

TEST_P(WildcardTableTest, MatchesAsTheWindowsSearch)
{
    const MatchCase &c = GetParam();
    EXPECT_EQ(WildcardMatch(QString::fromUtf8(c.pattern), QString::fromUtf8(c.name)), c.matches)
        << c.pattern << " against " << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, WildcardTableTest,
    ::testing::Values(
        // The undeliverable folder search.
        MatchCase{"ab12???*.hl7", "ab12.hl7", true}, MatchCase{"ab12???*.hl7", "ab12_001.hl7", true},
        MatchCase{"ab12???*.hl7", "AB12_001.HL7", true}, MatchCase{"ab12???*.hl7", "ab12_1.hl7", true},
        MatchCase{"ab12???*.hl7", "ab12_00123456.hl7", true}, MatchCase{"ab12???*.hl7", "ab13.hl7", false},
        MatchCase{"ab12???*.hl7", "ab12.hl7x", false}, MatchCase{"ab12???*.hl7", "xab12.hl7", false},
        MatchCase{"ab12???*", "ab12", true},
        // `?` is one character, or nothing only before a dot or at the end.
        MatchCase{"a?c", "abc", true}, MatchCase{"a?c", "ac", false}, MatchCase{"a??", "a", true},
        MatchCase{"a??.txt", "a.txt", true}, MatchCase{"a??.txt", "abcd.txt", false},
        MatchCase{"?", "", true},
        // `*` is any run.
        MatchCase{"*", "", true}, MatchCase{"*", "anything.at.all", true},
        MatchCase{"*.data", "A1B2.data", true}, MatchCase{"*.data", "A1B2.dat", false},
        MatchCase{"a*b*c", "a-bb-cc", true}, MatchCase{"a*b*c", "a-bb-cd", false},
        MatchCase{"*.*", "readme", true}, MatchCase{"*.", "readme", true},
        MatchCase{"*.", "readme.txt", false}, MatchCase{"a.*", "a", true}, MatchCase{"a.", "a.", true},
        // Letters compare without case, other characters literally.
        MatchCase{"R\xc3\xa9sult.HL7", "r\xc3\x89SULT.hl7", true}, MatchCase{"a.b", "a_b", false},
        MatchCase{"", "", true}, MatchCase{"", "a", false},
        MatchCase{"**********x", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaay", false}));

using FindEntriesTest = ArchiveFixture;

TEST_F(FindEntriesTest, ReturnsTheNamesOnDiskWhateverTheirCase)
{
    QDir().mkpath(path("undeliverable/AB12_dir.HL7"));
    for (const char *name : {"AB12_001.HL7", "ab12.hl7", "ab13.hl7", "other.txt"})
        writeBytes("x", QString("undeliverable/") + name);
    EXPECT_EQ(FindMatchingEntries(path("undeliverable"), "ab12???*.hl7"),
              (QStringList{"ab12.hl7", "AB12_001.HL7", "AB12_dir.HL7"}));
    EXPECT_EQ(FindMatchingEntries(path("undeliverable/"), "nothing*"), QStringList());
    EXPECT_EQ(FindMatchingEntries(path("missing"), "*"), QStringList());
}

} // namespace
