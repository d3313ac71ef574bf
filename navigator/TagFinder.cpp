// Building the tag list when a file is opened.
#include "navigator/TagFinder.h"

#include "navigator/LowerCase.h"
#include "navigator/SettingsSource.h"
#include "navigator/TagSettings.h"

namespace scanleaf {

namespace {

const wchar_t kSettingsFile[] = L"FileFormats\\Scanleaf.ini";

} // namespace

TagFinder::TagFinder() : settings_(&ProcessSettings()) {}

bool TagFinder::Reset(unsigned char fill) {
    tags.clear();
    if (!LocateSettings()) return false;
    settings_->BeginOpen(settingsPath);
    fillByte = fill;
    return true;
}

bool TagFinder::LocateSettings() {
    std::wstring folder = settings_->SharedFolder();
    if (folder.empty()) return false;
    settingsPath = folder + kSettingsFile;
    return true;
}

bool TagFinder::AddTag(const std::wstring& name, const std::wstring& value) {
    Tag tag;
    tag.name = LowerCase(name);
    tag.value = value;
    const std::wstring& section = tag.name;

    SectionAnswers answers = settings_->Section(settingsPath, section);
    tag.readOnly = answers.readonly == 1;
    const std::wstring names = TerminateList(std::move(answers.names));
    const std::wstring positions = TerminateList(std::move(answers.positions));

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
