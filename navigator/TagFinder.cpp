// Building the tag list when a file is opened.
#include "navigator/TagFinder.h"
#include "hostenv/HostNames.h"

#include "hostenv/SystemText.h"
#include "navigator/SettingsSource.h"

namespace scanleaf {

TagFinder::TagFinder() : TagList(SystemLowerCaser(), AnsiCodePage()), settings_(&ProcessSettings()) {}

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
    settingsPath = folder + kSettingsFileName;
    return true;
}

bool TagFinder::AddTag(const std::wstring& name, const std::wstring& value) {
    const std::wstring section = Lower(name);
    return AddRecord(section, value, settings_->Section(settingsPath, section));
}

} // namespace scanleaf
