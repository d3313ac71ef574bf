// Each command's options, typed: what the parser fills from the command list's bindings, and
// what the command's function receives. No command looks an option up by its name.
#pragma once

#include "cardcore/BatchPlan.h"
#include "tools/card/batch/Jobs.h"
#include "tools/card/commands/CommandLine.h"

#include <string>
#include <vector>

namespace card {

// The options every batch command shares (each takes those its list names).
struct BatchOptions : Request {
    bool recursive = false;
    unsigned jobs = DefaultJobs();
    scanleaf::core::Shard shard;
    bool skipExisting = false;
    bool overwrite = false;
    std::wstring resume; // the table a stopped run continues
    std::wstring output; // -o
};

struct NoOptions : Request {};

struct ShowOptions : Request {
    bool json = false;
};

struct SetOptions : Request {
    std::vector<std::wstring> dates; // NAME=DATE
    long style = 0;
    bool styleGiven = false;
};

struct SettingsOptions : Request {
    std::wstring sharedFolder;
    bool setSharedFolder = false;
};

// How a table of cards is read, by import and convert --to cals alike.
struct TableOptions {
    std::wstring delimiter; // "," or ";"; empty: from the header row
    std::wstring encoding = L"utf8";
};

struct ExportOptions : BatchOptions {
    std::wstring format = L"csv";
    std::wstring delimiter = L",";
    bool noBom = false;
};

struct ImportOptions : Request, TableOptions {
    bool dryRun = false;
    bool emptyClears = false;
    bool skipChanged = false;
    std::wstring journal;
};

struct VerifyOptions : BatchOptions {
    std::wstring format = L"text";
};

struct RenderOptions : BatchOptions {
    long size = 256; // the longest side; 0: full size
};

struct ConvertOptions : BatchOptions, TableOptions {
    std::wstring to;   // pdf, tiff or cals
    std::wstring pdfa; // empty: no PDF/A
    std::wstring title;
    bool noCheck = false;
    std::vector<std::wstring> set; // NAME=VALUE
    std::wstring table;
    long threshold = -1; // percent; -1: none given
    long dpi = 0;
};

struct RepairOptions : BatchOptions {
    bool dryRun = false;
    std::wstring journal = L"repair.journal";
};

} // namespace card
