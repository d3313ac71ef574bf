#include "navigator/SettingsSource.h"

#include "hostenv/SettingsLight.h"
#include "hostenv/SharedFolderWatch.h"

namespace scanleaf {

std::wstring DirectSettings::SharedFolder() {
    SettingsLight settings;
    return settings.GetFolder(scanleaf::SharedFolder);
}

SectionAnswers DirectSettings::Section(const std::wstring& settingsPath, const std::wstring& section) {
    return ReadSection(section, settingsPath);
}

std::wstring CachedSettings::SharedFolder() { return watch_.Get(); }

void CachedSettings::BeginOpen(const std::wstring& settingsPath) { cache_.Check(settingsPath); }

SectionAnswers CachedSettings::Section(const std::wstring& settingsPath, const std::wstring& section) {
    SectionAnswers answers;
    if (cache_.Find(settingsPath, section, answers)) return answers;
    return cache_.Read(settingsPath, section);
}

SettingsSource& ProcessSettings() {
    static SharedFolderWatch watch;
    static SettingsCache cache;
    static CachedSettings settings(watch, cache);
    return settings;
}

} // namespace scanleaf
