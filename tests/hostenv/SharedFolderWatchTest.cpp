#include "hostenv/SettingsLight.h"
#include "hostenv/SharedFolderWatch.h"
#include "tests/support/RegistryFixtures.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace scanleaf;

namespace {

void SetFolder(const std::wstring& text, DWORD type = REG_SZ) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kHostApplicationKey, 0, nullptr, 0, KEY_SET_VALUE,
                                             nullptr, &key, nullptr));
    std::wstring data = text + L'\0';
    if (type == REG_MULTI_SZ) data += L'\0';
    RegSetValueExW(key, L"SharedLocation", 0, type, reinterpret_cast<const BYTE*>(data.data()),
                   DWORD(data.size() * sizeof(wchar_t)));
    RegCloseKey(key);
}

std::wstring Fresh() { return SettingsLight().GetFolder(SharedFolder); }

// Every change to the host's key is seen at the next call, while another thread keeps making and
// deleting a key elsewhere below "Software", as installers and services do. Such a change between
// the watch's two notifications once spent the first and was reset by the second, and the host's
// key deleted afterwards went unseen.
TEST(SharedFolderWatch, SeesEveryChangeWhileOthersChangeTheRegistryBesideIt) {
    hostenvtest::SavedKey saved(HKEY_LOCAL_MACHINE, L"Software\\Kestravo");
    const std::function<void(int)> changes[] = {
        [](int i) { SetFolder(L"C:\\Share" + std::to_wstring(i)); },
        [](int i) { SetFolder(L"C:\\Share" + std::to_wstring(i), REG_MULTI_SZ); },
        [](int) { RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kHostApplicationKey, L"SharedLocation"); },
        [](int i) {
            hostenvtest::DeleteTree(HKEY_LOCAL_MACHINE, kHostApplicationKey);
            SetFolder(L"C:\\Made again " + std::to_wstring(i));
        },
        [](int i) {
            hostenvtest::DeleteTree(HKEY_LOCAL_MACHINE, L"Software\\Kestravo");
            SetFolder(L"C:\\Parent made again " + std::to_wstring(i));
        },
    };
    SetFolder(L"C:\\Share");
    hostenvtest::RegistryNoise noise;
    SharedFolderWatch watch;
    int unseen = 0;
    for (int i = 0; i < 500; ++i) {
        if (watch.Get() != Fresh()) ++unseen; // armed again when anything changed
        changes[i % 5](i);
        if (watch.Get() != Fresh()) ++unseen;
    }
    EXPECT_EQ(0, unseen) << "calls that gave an old folder, of 1000";
}

} // namespace
