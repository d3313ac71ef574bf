// Where an open finds its settings: the host's shared folder and, per record, the three keys
// of its section in the settings file. The process's navigators share one source that keeps
// both between opens; DirectSettings reads them afresh every time.
#pragma once

#include "navigator/SettingsCache.h"

#include <string>

namespace scanleaf {

class SharedFolderWatch;

class SettingsSource {
public:
    virtual ~SettingsSource() = default;
    // The shared folder with its trailing backslash; empty when it can't be found.
    virtual std::wstring SharedFolder() = 0;
    // At every open, once the settings file's path is known and before its records are read.
    virtual void BeginOpen(const std::wstring& settingsPath) = 0;
    virtual SectionAnswers Section(const std::wstring& settingsPath, const std::wstring& section) = 0;
};

class DirectSettings : public SettingsSource {
public:
    std::wstring SharedFolder() override;
    void BeginOpen(const std::wstring&) override {}
    SectionAnswers Section(const std::wstring& settingsPath, const std::wstring& section) override;
};

class CachedSettings : public SettingsSource {
public:
    CachedSettings(SharedFolderWatch& watch, SettingsCache& cache) : watch_(watch), cache_(cache) {}
    std::wstring SharedFolder() override;
    void BeginOpen(const std::wstring& settingsPath) override;
    SectionAnswers Section(const std::wstring& settingsPath, const std::wstring& section) override;

private:
    SharedFolderWatch& watch_;
    SettingsCache& cache_;
};

// The process's own: the shared-folder watch and the settings cache behind every navigator.
SettingsSource& ProcessSettings();

} // namespace scanleaf
