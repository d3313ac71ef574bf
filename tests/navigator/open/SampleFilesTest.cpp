// CALS files written by ImageMagick and GraphicsMagick (made at build time into bin/samples).
#include "navigator/CalsFile.h"

#include "hostenv/ComPtr.h"
#include "tests/support/CalsFixtures.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

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

        // The writer's eleven records, read straight from the file's slots 0..10.
        std::vector<unsigned char> bytes = testsupport::ReadBytes(path);
        ASSERT_GE(bytes.size(), 2048u);
        std::vector<std::wstring> written;
        for (size_t slot = 0; slot < 11; ++slot) {
            std::string text(bytes.begin() + 128 * slot, bytes.begin() + 128 * (slot + 1));
            size_t colon = text.find(':');
            ASSERT_NE(std::string::npos, colon) << "slot " << slot;
            written.push_back(testsupport::Widen(text.substr(0, colon)));
        }

        std::map<std::wstring, std::wstring> values;
        std::vector<std::wstring> inHeader;
        for (const Tag& tag : file->Tags().tags) {
            values.emplace(tag.name, tag.value);
            if (tag.inHeader) inHeader.push_back(tag.name);
        }
        EXPECT_EQ(written, inHeader);
        EXPECT_EQ(14u, file->Tags().tags.size()); // and the three derived from rpelcnt
        EXPECT_EQ(s.width, values[L"width"]);
        EXPECT_EQ(s.height, values[L"height"]);
        EXPECT_EQ(L"1", values[L"colordepth"]);
    }
}
