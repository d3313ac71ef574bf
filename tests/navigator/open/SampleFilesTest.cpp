// CALS files written by ImageMagick and GraphicsMagick (made at build time into bin/samples).
#include "navigator/CalsFile.h"

#include "hostenv/ComPtr.h"
#include "tests/support/CalsFixtures.h"

#include <gtest/gtest.h>

#include <map>

using namespace scanleaf;

TEST(SampleFiles, WritersHeaderRecordsAreTagsAndSizesMatch) {
    testsupport::HostSettings host;
    host.RemoveSettings();
    struct Sample {
        const wchar_t* file;
        const wchar_t* width;
        const wchar_t* height;
    } samples[] = {
        {L"imagemagick-64x48.cal", L"64", L"48"},
        {L"graphicsmagick-97x61.cal", L"97", L"61"},
    };
    for (const Sample& s : samples) {
        std::wstring path = testsupport::ProgramFolder() + L"\\samples\\" + s.file;
        SCOPED_TRACE(testsupport::Narrow(s.file));
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path.c_str())) << "sample not made at build time";

        ComObject<CCalsFile>* file = nullptr;
        ASSERT_EQ(S_OK, ComObject<CCalsFile>::Create(&file));
        ComPtr<IVorFileNavigator> holder(file);
        ASSERT_EQ(S_OK, file->OpenFile(path));

        std::map<std::wstring, std::wstring> values;
        int inHeader = 0;
        for (const Tag& tag : file->Tags().tags) {
            values.emplace(tag.name, tag.value);
            if (tag.inHeader) ++inHeader;
        }
        // Both writers fill the parsed area with eleven records.
        EXPECT_EQ(11, inHeader);
        EXPECT_EQ(14u, file->Tags().tags.size());
        for (const wchar_t* name : {L"srcdocid", L"dstdocid", L"txtfilid", L"figid", L"srcgph", L"rtype", L"rorient",
                                    L"rpelcnt", L"rdensty", L"notes"})
            EXPECT_EQ(1u, values.count(name)) << testsupport::Narrow(name);
        EXPECT_EQ(s.width, values[L"width"]);
        EXPECT_EQ(s.height, values[L"height"]);
        EXPECT_EQ(L"1", values[L"colordepth"]);
    }
}
