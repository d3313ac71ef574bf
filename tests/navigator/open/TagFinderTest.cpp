// Building tags against a real settings file under the host's shared folder.
#include "navigator/TagFinder.h"

#include "tests/support/CalsFixtures.h"

#include <gtest/gtest.h>

#include <iterator>
#include <vector>

using namespace scanleaf;
using testsupport::HostSettings;

namespace {

std::vector<Tag> TagList(const TagFinder& finder) { return std::vector<Tag>(finder.tags.begin(), finder.tags.end()); }

class TagFinderSettings : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(finder.Reset(' ')); }
    HostSettings host;
    TagFinder finder;
};

} // namespace

TEST(TagFinderLocate, SharedFolderComesFromTheRegistryEachTime) {
    HostSettings host;
    TagFinder finder;

    HostSettings::SetSharedLocation(L"C:\\Host");
    ASSERT_TRUE(finder.LocateSettings());
    EXPECT_EQ(L"C:\\Host\\FileFormats\\Scanleaf.ini", finder.settingsPath);

    HostSettings::SetSharedLocation(L"D:\\Other\\");
    ASSERT_TRUE(finder.LocateSettings());
    EXPECT_EQ(L"D:\\Other\\FileFormats\\Scanleaf.ini", finder.settingsPath);

    // Empty and missing: false, and the path found before stays.
    HostSettings::SetSharedLocation(L"");
    EXPECT_FALSE(finder.LocateSettings());
    EXPECT_EQ(L"D:\\Other\\FileFormats\\Scanleaf.ini", finder.settingsPath);
    HostSettings::SetSharedLocation(nullptr);
    EXPECT_FALSE(finder.LocateSettings());
    EXPECT_EQ(L"D:\\Other\\FileFormats\\Scanleaf.ini", finder.settingsPath);
}

TEST(TagFinderLocate, ResetEmptiesTheListAndKeepsTheFillByteOnlyOnSuccess) {
    HostSettings host;
    TagFinder finder;
    EXPECT_EQ(' ', finder.fillByte) << "a space until a file says otherwise";
    EXPECT_TRUE(finder.settingsPath.empty());
    ASSERT_TRUE(finder.Reset('#'));
    EXPECT_EQ('#', finder.fillByte);
    ASSERT_TRUE(finder.AddTag(L"a", L"1"));

    HostSettings::SetSharedLocation(nullptr);
    EXPECT_FALSE(finder.Reset(0));
    EXPECT_TRUE(finder.tags.empty());
    EXPECT_EQ('#', finder.fillByte);
}

TEST_F(TagFinderSettings, WithoutASettingsFileTagsAreWritableAndFull) {
    host.RemoveSettings();
    ASSERT_TRUE(finder.AddTag(L"rtype", L"1"));
    ASSERT_TRUE(finder.AddTag(std::wstring(126, L'n'), L""));
    ASSERT_TRUE(finder.AddTag(std::wstring(127, L'n'), L""));
    std::vector<Tag> tags = TagList(finder);
    ASSERT_EQ(3u, tags.size());
    EXPECT_EQ(L"rtype", tags[0].name);
    EXPECT_EQ(L"1", tags[0].value);
    EXPECT_FALSE(tags[0].readOnly);
    EXPECT_TRUE(tags[0].inHeader);
    EXPECT_TRUE(tags[0].subTags.empty());
    EXPECT_EQ(121, tags[0].valueWidth);
    EXPECT_EQ(0, tags[1].valueWidth);
    EXPECT_EQ(-1, tags[2].valueWidth);
}

TEST_F(TagFinderSettings, OnlyReadonlyOneMakesATagReadOnly) {
    host.WriteSettings("[one]\nReadonly=1\n[two]\nReadonly=2\n[zero]\nReadonly=0\n[word]\nReadonly=yes\n"
                       "[other]\nTagnames=\n");
    const wchar_t* names[] = {L"one", L"two", L"zero", L"word", L"other", L"nosection"};
    for (const wchar_t* name : names) ASSERT_TRUE(finder.AddTag(name, L"v")) << name;
    std::vector<Tag> tags = TagList(finder);
    ASSERT_EQ(6u, tags.size());
    EXPECT_TRUE(tags[0].readOnly);
    for (size_t i = 1; i < tags.size(); ++i) EXPECT_FALSE(tags[i].readOnly) << tags[i].name.c_str();
}

TEST_F(TagFinderSettings, UpperCaseNamesReadTheLowerCaseSection) {
    host.WriteSettings("[rpelcnt]\nReadonly=1\n[date]\nTagnames=YY;mm\nTagpositions=1-2;3-4\n");
    ASSERT_TRUE(finder.AddTag(L"RPELCNT", L"001728,002200"));
    ASSERT_TRUE(finder.AddTag(L"Date", L"2401"));
    std::vector<Tag> tags = TagList(finder);
    ASSERT_EQ(5u, tags.size());
    EXPECT_EQ(L"rpelcnt", tags[0].name);
    EXPECT_TRUE(tags[0].readOnly);
    EXPECT_EQ(L"date", tags[4].name);
    ASSERT_EQ(2u, tags[4].subTags.size());
    EXPECT_EQ(L"yy", tags[4].subTags.front().name);
    EXPECT_EQ(4, tags[4].valueWidth);
}

TEST_F(TagFinderSettings, SubFieldsComeFromTheSection) {
    host.WriteSettings("[abc]\nReadonly=1\nTagnames=yy;mm;dd\nTagpositions=1-2;3-4;5-6\n"
                       "[pair]\nTagnames=a;b;c\nTagpositions=1-3\n");
    ASSERT_TRUE(finder.AddTag(L"abc", L"240131"));
    ASSERT_TRUE(finder.AddTag(L"pair", L"x"));
    std::vector<Tag> tags = TagList(finder);
    ASSERT_EQ(2u, tags.size());
    EXPECT_TRUE(tags[0].readOnly);
    EXPECT_EQ(6, tags[0].valueWidth);
    std::vector<SubTag> subs(tags[0].subTags.begin(), tags[0].subTags.end());
    ASSERT_EQ(3u, subs.size());
    EXPECT_EQ(L"mm", subs[1].name);
    EXPECT_EQ(3, subs[1].start);
    EXPECT_EQ(4, subs[1].end);
    ASSERT_EQ(1u, tags[1].subTags.size());
    EXPECT_EQ(L"a", tags[1].subTags.front().name);
}

TEST_F(TagFinderSettings, ARefusedRecordAppendsNothingAndKeepsEarlierTags) {
    host.WriteSettings("[bad]\nTagnames=a;b\nTagpositions=1-2;5-3\n"
                       "[abc]\nTagnames=a\nTagpositions=1-123\n"
                       "[abcd]\nTagnames=a\nTagpositions=1-123\n"
                       "[rpelcnt]\nTagnames=w\nTagpositions=7\n");
    ASSERT_TRUE(finder.AddTag(L"first", L"1"));
    EXPECT_FALSE(finder.AddTag(L"bad", L"2"));
    EXPECT_TRUE(finder.AddTag(L"ABC", L"3"));   // 123 = 126 - 3
    EXPECT_FALSE(finder.AddTag(L"abcd", L"4")); // 123 > 126 - 4
    EXPECT_FALSE(finder.AddTag(L"rpelcnt", L"64,48"));
    std::vector<Tag> tags = TagList(finder);
    ASSERT_EQ(2u, tags.size());
    EXPECT_EQ(L"first", tags[0].name);
    EXPECT_EQ(L"abc", tags[1].name);
    EXPECT_EQ(123, tags[1].valueWidth);
}

TEST_F(TagFinderSettings, RpelcntGivesThreeDerivedTagsRightBehindIt) {
    host.WriteSettings("[rpelcnt]\nTagnames=w;h\nTagpositions=1-6;8-13\n");
    ASSERT_TRUE(finder.AddTag(L"rpelcnt", L"001728,002200"));
    ASSERT_TRUE(finder.AddTag(L"next", L"x"));
    std::vector<Tag> tags = TagList(finder);
    ASSERT_EQ(5u, tags.size());
    EXPECT_EQ(L"rpelcnt", tags[0].name);
    EXPECT_EQ(2u, tags[0].subTags.size());
    EXPECT_TRUE(tags[0].inHeader);
    EXPECT_FALSE(tags[0].readOnly);
    const wchar_t* names[] = {L"width", L"height", L"colordepth"};
    const wchar_t* values[] = {L"1728", L"2200", L"1"};
    for (int i = 0; i < 3; ++i) {
        const Tag& t = tags[1 + i];
        EXPECT_EQ(names[i], t.name);
        EXPECT_EQ(values[i], t.value);
        EXPECT_TRUE(t.readOnly);
        EXPECT_FALSE(t.inHeader);
        EXPECT_TRUE(t.subTags.empty());
        EXPECT_EQ(13, t.valueWidth); // as computed for its source
    }
    EXPECT_EQ(L"next", tags[4].name);
}

TEST_F(TagFinderSettings, RpelcntWithoutReadableSizes) {
    host.RemoveSettings();
    ASSERT_TRUE(finder.AddTag(L"rpelcnt", L"1728"));    // no comma: nothing derived
    ASSERT_TRUE(finder.AddTag(L"rpelcnt", L""));
    ASSERT_TRUE(finder.AddTag(L"rpelcnt", L"abc,def")); // a comma but no numbers
    std::vector<Tag> tags = TagList(finder);
    ASSERT_EQ(6u, tags.size());
    EXPECT_EQ(L"rpelcnt", tags[1].name);
    EXPECT_EQ(L"width", tags[3].name);
    EXPECT_EQ(L"", tags[3].value);
    EXPECT_EQ(L"height", tags[4].name);
    EXPECT_EQ(L"", tags[4].value);
    EXPECT_EQ(L"1", tags[5].value);
}
