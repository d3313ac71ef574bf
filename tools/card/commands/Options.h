// Each command's options, typed: what the parser fills from the command list's bindings, and
// what the command's function receives. A choice arrives as its enumeration; no command looks an
// option up by its name or compares a choice as text.
#pragma once

#include "cardcore/BatchPlan.h"
#include "core/cals/Xmp.h"
#include "tools/card/batch/Batch.h"
#include "tools/card/cards/TableFile.h"
#include "tools/card/cards/Trial.h"
#include "tools/card/commands/CommandLine.h"

#include <string>
#include <vector>

namespace card {


struct NoOptions : Request {};

struct ShowOptions : Request {
    bool json = false;
};

struct SetOptions : Request {
    std::vector<NewValue> dates; // --date NAME=DATE, read
    long style = 0;
    bool styleGiven = false;
};

struct SettingsOptions : Request {
    std::wstring sharedFolder;
    bool setSharedFolder = false;
};

enum class Encoding { Utf8, Ansi };

// How a table of cards is read, by import and convert --to cals alike.
struct TableOptions {
    wchar_t delimiter = 0; // ',' or ';'; 0: from the header row
    Encoding encoding = Encoding::Utf8;
    TableReading Reading() const {
        TableReading how;
        how.ansi = encoding == Encoding::Ansi;
        how.parse.delimiter = delimiter;
        return how;
    }
};

enum class TableFormat { Csv, Json };

struct ExportOptions : BatchOptions {
    TableFormat format = TableFormat::Csv;
    wchar_t delimiter = L',';
    bool noBom = false;
};

struct ImportOptions : Request, TableOptions {
    bool dryRun = false;
    bool emptyClears = false;
    bool skipChanged = false;
    std::wstring journal;
};

enum class VerifyFormat { Text, Csv, Json };

struct VerifyOptions : BatchOptions {
    VerifyFormat format = VerifyFormat::Text;
};

struct RenderOptions : BatchOptions {
    std::uint32_t size = 256; // the longest side; 0: full size
};

enum class Target { None, Pdf, Tiff, Cals };

struct ConvertOptions : BatchOptions, TableOptions {
    Target to = Target::None;
    scanleaf::core::Pdfa pdfa = scanleaf::core::Pdfa::None;
    std::wstring title;
    bool noCheck = false;
    std::vector<NewValue> set; // --set NAME=VALUE
    std::wstring table;
    int threshold = -1; // percent; -1: none given
    std::uint32_t dpi = 0;
};

// One file at a time: each save goes through the journal in the files' order.
struct RepairOptions : BatchOptions {
    RepairOptions() { jobs = 1; }
    bool dryRun = false;
    std::wstring journal = L"repair.journal";
};

// The words of the choices a command names again (a record of what made an output).
extern const ChoiceWords<Target> kTargets;
extern const ChoiceWords<scanleaf::core::Pdfa> kPdfaParts;
// The options a command names again, by their entries.
extern const Option<ConvertOptions> kTo;
extern const Option<ConvertOptions> kPdfa;
extern const Option<ConvertOptions> kTitle;
extern const Option<RenderOptions> kSize;

} // namespace card
