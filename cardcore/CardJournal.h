// The undo journal of an import: for each file it changes, the file's size, modification time
// and header before the change, and (once saved) its header after. A text file of one record
// per line, flushed before the first save and after each one, so that an import stopped
// half-way still leaves every saved file undoable. Pure: records to text and back.
#pragma once

#include "core/Text.h"

#include <cstdint>
#include <vector>

namespace card::journal {

using scanleaf::core::Text;

inline constexpr size_t kHeaderBytes = 2048;
inline constexpr char kFirstLine[] = "SCANLEAF-CARD-JOURNAL 1\n";
// The first line of a repair's journal: the same records, so that undo plays both back.
inline constexpr char kRepairFirstLine[] = "SCANLEAF-CARD-JOURNAL 1 repair\n";
// Appended by undo once every saved file has its earlier header back: the journal stays for the
// record, a second undo has nothing to do, and a new import may take its name.
inline constexpr char kUndoneLine[] = "undone\n";

struct Entry {
    Text path;
    uint64_t size = 0;
    uint64_t modified = 0; // FILETIME as one number
    std::string before;    // kHeaderBytes
    bool saved = false;
    std::string after;     // kHeaderBytes, when saved
};

std::string BeforeLine(const Entry& entry);
std::string AfterLine(const Text& path, const std::string& after);

// False with `error` ("line 7: ...") for anything but a whole journal: a wrong first line, a
// damaged or cut-off record, an "after" without its "before", a record after "undone".
// `undone` (when given) tells whether the journal ends with kUndoneLine; `repair` whether a
// repair wrote it (else an import).
bool Parse(const std::string& text, std::vector<Entry>& entries, Text& error, bool* undone = nullptr,
           bool* repair = nullptr);

} // namespace card::journal
