// The review page of sheet: one self-contained HTML page, a section a drawing with its
// thumbnail, card and verify status, the sections held in a temporary file until the heading
// can count them.
#pragma once

#include "hostenv/Unique.h"
#include "tools/card/batch/Files.h"
#include "tools/card/cards/Card.h"
#include "tools/card/picture/Drawing.h"

#include <cstdio>
#include <string>

namespace card {

// The page up to its heading: the style for screens, phones and print.
extern const wchar_t kReviewPageHead[];

// The page's sections, held in a temporary file until the heading can count them.
class SectionSpool {
public:
    SectionSpool();
    bool Add(const std::string& bytes);
    bool CopyTo(AtomicFile& page);

private:
    scanleaf::StdFileHandle file_;
};

// A header the page cannot show as it says (a density or orientation no scanner gives), or empty.
std::wstring HeaderProblem(const DrawingCheck& check);
// One drawing's section: its thumbnail (from `sink`), path, status and card.
std::wstring ReviewSection(const std::wstring& path, const DrawingCheck& check, ThumbnailSink& sink, CardReader& reader);

} // namespace card
