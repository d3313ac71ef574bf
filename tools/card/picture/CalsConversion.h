// The CALS writer of convert --to cals: each page of a picture made a CALS type 1 file, with its
// card filled through the plug-in, and the card values a table gives each picture.
#pragma once

#include "host/VorHost.h"
#include "tools/card/batch/Walk.h"
#include "tools/card/cards/CardEdit.h"
#include "tools/card/cards/TableFile.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace card {

// The picture files a folder stands for.
extern const std::vector<std::wstring> kPictureExtensions;

// What changes the CALS files of a picture.
struct CalsOptions {
    std::vector<NewValue> values; // --set, which wins over a table's row
    int threshold = -1;           // percent; -1: none given
    std::uint32_t dpi = 0;        // 0: the picture's own
    bool skipExisting = false;
};

// A table's card values by the lower-case path of their picture: the writable columns only. Every
// row must name a picture of the run (this shard's or another's), and every picture of this
// shard have a row, or the table is refused with each problem named.
class PictureCardRows {
public:
    bool Load(const std::wstring& path, const TableReading& how, const Walked& walked);
    // The row's values, then those of --set, which win.
    std::vector<NewValue> ValuesFor(const std::wstring& source, const std::vector<NewValue>& set) const;

private:
    std::map<std::wstring, std::vector<NewValue>> rows_;
};

// Makes the CALS files of one picture at a time; one a job.
class CalsConverter {
public:
    CalsConverter(IVorFileFormat* format, const CalsOptions& options, const PictureCardRows& rows);
    ~CalsConverter();
    CalsConverter(const CalsConverter&) = delete;
    CalsConverter& operator=(const CalsConverter&) = delete;

    // What one source came to: lines for standard output, or why it was refused.
    struct Result {
        std::wstring lines;
        std::wstring refused;
        std::wstring leftOut; // lines for standard error: pages of no drawing
        size_t written = 0, pagesLeftOut = 0;
        size_t newCards = 0; // pages that came without the header they could carry
        bool upToDate = false;
    };
    // The pages a source holds, read before any output is named, with the names they carry (or
    // empty ones); 0 with `problem` when it is refused.
    std::uint32_t Pages(const std::wstring& source, std::wstring& problem, std::vector<std::wstring>& titles);
    // `names`: the outputs the plan gave the source's pages.
    Result Convert(const std::wstring& source, const std::vector<std::wstring>& names);

private:
    class Engine;
    std::unique_ptr<Engine> engine_;
};

} // namespace card
