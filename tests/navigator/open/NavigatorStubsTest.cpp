// The methods of IVorFileNavigator that the navigator does not serve, through the DLL.
#include "hostenv/ComPtr.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>

using namespace scanleaf;

namespace {

using Words = std::array<VorWord, 6>;

struct Stub {
    const char* name;
    int arity;
    unsigned checked; // bit i: argument i+1 must not be null
    HRESULT result;
    std::function<HRESULT(IVorFileNavigator*, const Words&)> call;
};

} // namespace

TEST(NavigatorStubs, EachAnswersAsItsRowSays) {
    testsupport::ScanleafDll dll;
    ComPtr<IVorFileNavigator> nav;
    ASSERT_EQ(S_OK, dll.Create(CLSID_CalsFile, IID_IVorFileNavigator, nav.PutVoid()));
    using N = IVorFileNavigator;
    const Stub stubs[] = {
        {"Method1", 3, 0b110, E_NOTIMPL, [](N* n, const Words& w) { return n->Method1(w[0], w[1], w[2]); }},
        {"Method2", 3, 0, E_NOTIMPL, [](N* n, const Words& w) { return n->Method2(w[0], w[1], w[2]); }},
        {"Method3", 1, 0b1, E_NOTIMPL, [](N* n, const Words& w) { return n->Method3(w[0]); }},
        {"Method4", 5, 0b11111, E_NOTIMPL,
         [](N* n, const Words& w) { return n->Method4(w[0], w[1], w[2], w[3], w[4]); }},
        {"Method5", 4, 0b1100, E_NOTIMPL, [](N* n, const Words& w) { return n->Method5(w[0], w[1], w[2], w[3]); }},
        {"Method6", 4, 0b1100, E_NOTIMPL, [](N* n, const Words& w) { return n->Method6(w[0], w[1], w[2], w[3]); }},
        {"Method9", 2, 0b11, E_NOTIMPL, [](N* n, const Words& w) { return n->Method9(w[0], w[1]); }},
        {"Method10", 3, 0b100, E_NOTIMPL, [](N* n, const Words& w) { return n->Method10(w[0], w[1], w[2]); }},
        {"Method11", 5, 0b110, E_NOTIMPL,
         [](N* n, const Words& w) { return n->Method11(w[0], w[1], w[2], w[3], w[4]); }},
        {"Method12", 6, 0, E_NOTIMPL,
         [](N* n, const Words& w) { return n->Method12(w[0], w[1], w[2], w[3], w[4], w[5]); }},
        {"Method14", 1, 0b1, E_NOTIMPL, [](N* n, const Words& w) { return n->Method14(w[0]); }},
        {"Method15", 5, 0b11000, E_NOTIMPL,
         [](N* n, const Words& w) { return n->Method15(w[0], w[1], w[2], w[3], w[4]); }},
        {"Method16", 1, 0, E_NOTIMPL, [](N* n, const Words& w) { return n->Method16(w[0]); }},
        {"Method17", 2, 0, S_OK, [](N* n, const Words& w) { return n->Method17(w[0], w[1]); }},
        {"Method18", 4, 0, S_OK, [](N* n, const Words& w) { return n->Method18(w[0], w[1], w[2], w[3]); }},
        {"Method19", 1, 0, E_NOTIMPL, [](N* n, const Words& w) { return n->Method19(w[0]); }},
        {"Method20", 5, 0, E_NOTIMPL,
         [](N* n, const Words& w) { return n->Method20(w[0], w[1], w[2], w[3], w[4]); }},
    };
    const Words none{};
    const Words all{1, 2, 3, 4, 5, 6};
    for (const Stub& s : stubs) {
        EXPECT_EQ(s.result, s.call(nav.Get(), all)) << s.name;
        EXPECT_EQ(s.checked ? E_POINTER : s.result, s.call(nav.Get(), none)) << s.name << " all null";
        for (int i = 0; i < s.arity; ++i) {
            Words one = all;
            one[i] = 0;
            HRESULT want = (s.checked >> i) & 1 ? E_POINTER : s.result;
            EXPECT_EQ(want, s.call(nav.Get(), one)) << s.name << " argument " << i + 1 << " null";
        }
    }
}
