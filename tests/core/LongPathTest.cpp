// Extended-length paths: which paths take the form, and how each kind of path is written in it.
#include "core/LongPath.h"

#include <gtest/gtest.h>

namespace {

using scanleaf::core::ExtendedLengthPath;
using scanleaf::core::Text;

TEST(LongPath, OnlyLongAbsolutePathsTakeTheExtendedForm) {
    const Text folder = Text(SL_T("folder-of-forty-characters-0123456789ab")), deep = [&] {
        Text t;
        for (int i = 0; i < 7; ++i) t += folder + SL_T("\\");
        return t;
    }();
    const struct {
        Text given;
        Text expected; // empty: unchanged
    } cases[] = {
        {SL_T("C:\\short\\drawing.cal"), SL_T("")},
        {SL_T("C:\\") + deep + SL_T("a.cal"), SL_T("\\\\?\\C:\\") + deep + SL_T("a.cal")},
        {SL_T("z:/") + deep + SL_T("./x/../a.cal"), SL_T("\\\\?\\z:\\") + deep + SL_T("a.cal")},
        {SL_T("C:\\..\\..\\") + deep + SL_T("a.cal"), SL_T("\\\\?\\C:\\") + deep + SL_T("a.cal")},
        {SL_T("\\\\server\\share\\") + deep + SL_T("a.cal"), SL_T("\\\\?\\UNC\\server\\share\\") + deep + SL_T("a.cal")},
        {SL_T("\\\\?\\C:\\") + deep + SL_T("a.cal"), SL_T("")},
        {SL_T("\\\\.\\pipe\\") + deep, SL_T("")},
        {deep + SL_T("relative.cal"), SL_T("")},
        {SL_T("C:") + deep + SL_T("drive-relative.cal"), SL_T("")},
        {SL_T("\\\\\\") + deep, SL_T("")},
        {SL_T("C:\\") + deep + SL_T("*"), SL_T("\\\\?\\C:\\") + deep + SL_T("*")},
    };
    for (const auto& c : cases) {
        const Text expected = c.expected.empty() ? c.given : c.expected;
        EXPECT_TRUE(ExtendedLengthPath(c.given) == expected) << c.given.size();
    }
}

} // namespace
