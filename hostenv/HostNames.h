// The names the host and the product share, each written once: the host's registry key, the
// settings file below its shared folder, and the extensions of CALS files.
#pragma once

#include <string>
#include <vector>

namespace scanleaf {

// Under both roots: the shared folder's value, the language, the tips given.
inline constexpr wchar_t kHostApplicationKey[] = L"Software\\Kestravo\\Applications\\Quorvel Enterprise";

// The plug-in's settings file, relative to the host's shared folder (which ends with "\").
inline constexpr wchar_t kSettingsFileName[] = L"FileFormats\\Scanleaf.ini";

// The extensions of CALS files, as the format object names them to the host.
inline constexpr wchar_t kCalsExtensionList[] = L"cal,ct1,ct2,ct3,nif,ct4,c4,cg4,gp4,mil,rst";

// The same, one extension an item, without dots.
inline std::vector<std::wstring> CalsExtensionNames() {
    std::vector<std::wstring> names(1);
    for (const wchar_t* c = kCalsExtensionList; *c; ++c) {
        if (*c == L',')
            names.emplace_back();
        else
            names.back() += *c;
    }
    return names;
}

} // namespace scanleaf
