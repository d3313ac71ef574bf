// The groups record array when an allocation fails part way: nothing is left with the host.
#include "format/ExtensionGroups.h"

#include <gtest/gtest.h>

#include <set>

using namespace scanleaf;

namespace {

// Counting allocators that fail the n-th string (0: none) or the array.
struct Ledger {
    int stringsMade = 0;
    int failString = 0;
    bool failArray = false;
    std::set<void*> live;
};
Ledger ledger;

void* AllocArray(SIZE_T bytes) {
    if (ledger.failArray) return nullptr;
    void* p = CoTaskMemAlloc(bytes);
    ledger.live.insert(p);
    return p;
}
void FreeArray(void* p) {
    ledger.live.erase(p);
    CoTaskMemFree(p);
}
BSTR AllocString(const OLECHAR* text) {
    if (++ledger.stringsMade == ledger.failString) return nullptr;
    BSTR b = SysAllocString(text);
    ledger.live.insert(b);
    return b;
}
void FreeString(BSTR b) {
    ledger.live.erase(b);
    SysFreeString(b);
}
const GroupAllocators counting{&AllocArray, &FreeArray, &AllocString, &FreeString};

} // namespace

TEST(ExtensionGroups, FailedAllocationsHandNothingOut) {
    struct Case {
        bool present;
        bool failArray;
        int failString;
    } cases[] = {{false, true, 0}, {true, true, 0}, {false, false, 1}, {true, false, 1}, {true, false, 2}};
    for (const Case& c : cases) {
        ledger = Ledger{};
        ledger.failArray = c.failArray;
        ledger.failString = c.failString;
        ULONG count = 0;
        ExtensionGroup* groups = nullptr;
        EXPECT_EQ(E_OUTOFMEMORY, MakeExtensionGroups(c.present, &count, &groups, counting))
            << c.present << c.failArray << c.failString;
        EXPECT_EQ(0u, count);
        EXPECT_EQ(nullptr, groups);
        EXPECT_TRUE(ledger.live.empty()) << "everything allocated is freed again";
    }
}

TEST(ExtensionGroups, BothLayoutsWhenAllocationsSucceed) {
    for (bool present : {false, true}) {
        ledger = Ledger{};
        ULONG count = 0;
        ExtensionGroup* groups = nullptr;
        ASSERT_EQ(S_OK, MakeExtensionGroups(present, &count, &groups, counting));
        ASSERT_EQ(present ? 2u : 1u, count);
        EXPECT_STREQ(present ? L"ct1,ct2,ct3,nif,ct4,c4,cg4,gp4,mil,rst" : L"ct1,ct2,ct3,nif,ct4,c4,cg4,gp4,mil,rst,cal",
                     groups[0].extensions);
        if (present) {
            EXPECT_STREQ(L"cal", groups[1].extensions);
            EXPECT_TRUE(IsEqualGUID(GUID_VorGroupCal, groups[1].identifier));
        }
        for (ULONG i = 0; i < count; ++i) {
            EXPECT_EQ(4u, groups[i].kind);
            FreeString(groups[i].extensions);
        }
        FreeArray(groups);
        EXPECT_TRUE(ledger.live.empty());
    }
}
