// CALS files and host settings for the tests: header images, a shared folder with a
// settings file, and the host's registry value that points at it.
#pragma once

#include "tests/support/TestSupport.h"

#include <string>
#include <vector>

namespace testsupport {

// A file image: slot i (128 bytes) holds records[i] (8-bit text) padded with fill; the
// remaining header slots are fill; then imageBytes bytes of image data (a counting pattern).
std::vector<unsigned char> MakeCalsImage(const std::vector<std::string>& records, unsigned char fill = ' ',
                                         size_t imageBytes = 256);

// Points the host's "SharedLocation" (local machine) at a temporary shared folder and
// writes "FileFormats\Scanleaf.ini" there. Restores the registry value at the end.
// Tests that use it share the host's key: give them the CTest lock "hostkey".
class HostSettings {
public:
    HostSettings();
    ~HostSettings();
    HostSettings(const HostSettings&) = delete;
    HostSettings& operator=(const HostSettings&) = delete;

    // The shared folder, with its trailing backslash.
    std::wstring SharedFolder() const { return folder_.Path() + L"\\"; }
    std::wstring SettingsPath() const { return SharedFolder() + L"FileFormats\\Scanleaf.ini"; }
    // Replaces the settings file (UTF-8 text is written as 8-bit CP_ACP text).
    void WriteSettings(const std::string& iniText) const;
    void RemoveSettings() const;
    // Sets "SharedLocation" to text, or deletes it when text is null.
    static void SetSharedLocation(const wchar_t* text);
    TempFolder& Folder() { return folder_; }

private:
    TempFolder folder_;
    bool hadValue_ = false;
    std::wstring oldValue_;
};

} // namespace testsupport
