// Building the tag list when a file is opened.
#include "navigator/TagFinder.h"

#include "hostenv/SettingsLight.h"
#include "navigator/LowerCase.h"
#include "navigator/TagSettings.h"

#include <windows.h>

#include <vector>

namespace scanleaf {

namespace {

const wchar_t kSettingsFile[] = L"FileFormats\\Scanleaf.ini";
constexpr DWORD kProfileBuffer = 32767;

std::wstring ReadProfileString(const std::wstring& section, const wchar_t* key, const std::wstring& path,
                               std::vector<wchar_t>& buffer) {
    DWORD n = GetPrivateProfileStringW(section.c_str(), key, L"", buffer.data(), kProfileBuffer, path.c_str());
    return std::wstring(buffer.data(), n);
}

} // namespace

bool TagFinder::Reset(unsigned char fill) {
    tags.clear();
    if (!LocateSettings()) return false;
    fillByte = fill;
    return true;
}

bool TagFinder::LocateSettings() {
    SettingsLight settings;
    std::wstring folder = settings.GetFolder(SharedFolder);
    if (folder.empty()) return false;
    settingsPath = folder + kSettingsFile;
    return true;
}

bool TagFinder::AddTag(const std::wstring& name, const std::wstring& value) {
    Tag tag;
    tag.name = LowerCase(name);
    tag.value = value;
    const std::wstring& section = tag.name;

    tag.readOnly = GetPrivateProfileIntW(section.c_str(), L"Readonly", 0, settingsPath.c_str()) == 1;

    std::wstring names;
    std::wstring positions;
    {
        std::vector<wchar_t> buffer(kProfileBuffer);
        names = TerminateList(ReadProfileString(section, L"Tagnames", settingsPath, buffer));
        positions = TerminateList(ReadProfileString(section, L"Tagpositions", settingsPath, buffer));
    }

    const int nameLength = static_cast<int>(tag.name.size());
    if (!ReadSubTags(names, positions, nameLength, tag.subTags, tag.valueWidth)) return false;
    if (tag.subTags.empty()) tag.valueWidth = kRecordTextWidth - nameLength;

    tags.push_back(tag);

    if (tag.name == L"rpelcnt" && tag.value.find(L',') != std::wstring::npos) {
        std::wstring width;
        std::wstring height;
        ReadPixelCounts(tag.value, width, height);
        tag.readOnly = true;
        tag.inHeader = false;
        tag.subTags.clear();
        tag.name = L"width";
        tag.value = width;
        tags.push_back(tag);
        tag.name = L"height";
        tag.value = height;
        tags.push_back(tag);
        tag.name = L"colordepth";
        tag.value = L"1";
        tags.push_back(tag);
    }
    return true;
}

} // namespace scanleaf
