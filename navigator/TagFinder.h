// The navigator's tag list: the core's list, built from the header with the settings that the
// host's shared folder holds, and the system's lower-casing and ANSI code page.
#pragma once

#include "core/cals/TagList.h"

#include <string>

namespace scanleaf {

using core::SubTag;
using core::Tag;

class SettingsSource;

class TagFinder : public core::TagList {
public:
    TagFinder(); // with the process's settings source

    // Where the next Reset and AddTag calls read their settings.
    void UseSettings(SettingsSource& settings) noexcept { settings_ = &settings; }

    // Opening a file.
    bool Reset(unsigned char fillByte);
    bool LocateSettings();
    bool AddTag(const std::wstring& name, const std::wstring& value);

    std::wstring settingsPath;

private:
    SettingsSource* settings_;
};

} // namespace scanleaf
