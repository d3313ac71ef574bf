// A CALS file's header region as the import journal and undo see it: its first 2048 bytes,
// with the file's size and modification time.
#pragma once

#include "hostenv/Unique.h"
#include "tools/card/cards/PluginCodes.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace card {

struct HeaderState {
    uint64_t size = 0;
    uint64_t modified = 0; // FILETIME as one number
    std::string header;    // the first 2048 bytes
};

// Reads while others may read and write the file, as the plug-in leaves it shared.
HRESULT ReadHeaderState(const std::wstring& path, HeaderState& state);
// Writes `header` over the file's first 2048 bytes in place, flushed, if they are still
// `expected`; ERROR_INVALID_STATE when they changed since they were read.
HRESULT ReplaceHeader(const std::wstring& path, const std::string& expected, const std::string& header);

// S_OK for a CALS file, and for one too short or unreadable to tell (the plug-in's open then says
// why); kNotCalsFile for a file of another format, whatever its name.
HRESULT CheckCalsFile(const std::wstring& path);
// The rule behind it, for a file's first `size` bytes (all of them, when fewer than a header).
bool IsForeignHeader(const void* bytes, size_t size);

enum class Restored { Now, Already, ChangedSince };

// Puts `header` back at offset 0 and the modification time to `modified`, only if the file's
// size and header still equal `expectedSize` and `expected` (Restored::Now). A file that holds
// `header` already is left alone (Already); any other has changed since (ChangedSince), and
// nothing is written.
HRESULT RestoreHeader(const std::wstring& path, uint64_t expectedSize, const std::string& expected,
                      const std::string& header, uint64_t modified, Restored& outcome);

// Writes all of `bytes` at the handle's position.
bool WriteAll(HANDLE file, const std::string& bytes);

} // namespace card
