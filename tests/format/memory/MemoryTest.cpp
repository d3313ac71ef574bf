// A host's indexing pass in miniature: format objects and navigators made, used and released
// by the hundred thousand. The process's private bytes must settle: after the run they are
// within 1 MB of what they were after the first 1,000.
#include "hostenv/ComPtr.h"
#include "tests/support/CalsFixtures.h"

#include <gtest/gtest.h>
#include <psapi.h>

#include <cstdlib>

using scanleaf::ComPtr;

namespace {

// Commit charge: what Windows counts as the process's private bytes (Wine reports it here).
size_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof counters))
        return 0;
    return std::max<size_t>(counters.PrivateUsage, counters.PagefileUsage);
}

TEST(MemoryUnderLoad, HundredThousandNavigatorsLeaveNothingBehind) {
    testsupport::HostSettings host;
    host.WriteSettings("[srcdocid]\r\nTagnames=drawingno;sheet\r\nTagpositions=1-8;10-12\r\n[rtype]\r\nReadonly=1\r\n");
    testsupport::TempFolder temp;
    const std::wstring path = temp.File(L"drawing.cal");
    testsupport::WriteBytes(path, testsupport::MakeCalsImage({"srcdocid: A3-00471 001", "rtype: 1",
                                                              "rpelcnt: 001728,002200", "notes: NONE"}));
    testsupport::ScanleafDll dll;
    BSTR bpath = SysAllocString(path.c_str());
    const wchar_t* names[] = {L"srcdocid", L"drawingno", L"sheet", L"rtype", L"rpelcnt",
                              L"width",    L"height",    L"colordepth", L"notes"};
    const char* count = std::getenv("SCANLEAF_MEMORY_ITERATIONS");
    const unsigned long iterations = count && *count ? std::strtoul(count, nullptr, 10) : 100000;
    size_t settled = 0;
    for (unsigned long i = 0; i < iterations; ++i) {
        if (i == 1000) settled = PrivateBytes();
        ComPtr<IVorFileFormat> format;
        ASSERT_EQ(S_OK, dll.Create(CLSID_CalsFormat, IID_IVorFileFormat, format.PutVoid()));
        ComPtr<IVorFileNavigator> navigator;
        ASSERT_EQ(S_OK, format->CreateNavigator(bpath, 0, navigator.Put())) << i;
        VorVariable records[std::size(names)] = {};
        for (size_t k = 0; k < std::size(names); ++k) {
            records[k].name = SysAllocString(names[k]);
            records[k].block = SysAllocString(L"CALS");
        }
        ASSERT_EQ(S_OK, navigator->ReadVariable(0, 0, 0, LONG(std::size(names)), records));
        for (VorVariable& r : records) VariantClear(&r.value);
        VorVariable& notes = records[std::size(names) - 1];
        notes.value.vt = VT_BSTR;
        notes.value.bstrVal = SysAllocString(i % 2 ? L"checked" : L"scanned again");
        ASSERT_EQ(S_OK, navigator->WriteVariable(0, 0, 0, 1, &notes, 0));
        ASSERT_EQ(S_OK, navigator->SaveFile()) << i;
        for (VorVariable& r : records) {
            SysFreeString(r.name);
            SysFreeString(r.block);
            VariantClear(&r.value);
        }
    }
    SysFreeString(bpath);
    const size_t after = PrivateBytes();
    std::printf("private bytes after 1,000: %zu, after %lu: %zu\n", settled, iterations, after);
    if (iterations > 1000) {
        ASSERT_GT(settled, 0u) << "the platform reports no private bytes";
        EXPECT_LE(after, settled + 1024 * 1024);
    }
    EXPECT_EQ(S_OK, dll.CanUnloadNow()) << "every object released";
}

} // namespace
