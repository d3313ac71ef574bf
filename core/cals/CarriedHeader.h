// A drawing's CALS header as it travels in the XMP of a PDF or TIFF it was handed on in: its
// 2048 bytes as they were, and its records in slot order as text (for people, search and other
// programs). Coming home, the bytes are given back unchanged unless the records were edited since
// or the picture no longer fits them; then a header is made of the records, the picture's own
// size, resolution and orientation winning.
#pragma once

#include "core/Page.h"
#include "core/cals/Xmp.h"
#include "core/Platform.h"

#include <string>
#include <vector>

namespace scanleaf::core {

// (CarriedHeader itself is in Xmp.h, which writes and reads it.)

// The header of `header` (kHeaderSize bytes) to carry: a slot the code page refuses is read a
// byte a character.
CarriedHeader CarryHeader(const unsigned char* header, const CodePage& codePage);

// How a carried header came home.
enum class HeaderHome {
    AsItWas,        // the bytes unchanged
    RecordsEdited,  // its records were changed by another program since: made again from them
    PictureChanged, // the picture's size, resolution or orientation is no longer the header's
    Mended,         // as it was but for what no header of a drawing may hold (in `mended`)
};

// The header for a picture coming home with `carried`; false with `problem` (more records than
// slots, a record longer than its slot) when none can be made. Whatever way it comes, it is held
// to what the tool writes: "rtype: 1" and one record of each name; each mend is said in
// `mended`, as is a record the code page cannot hold (written with its default character).
bool HomeHeader(const CarriedHeader& carried, const PagePicture& picture, const CodePage& codePage, std::string& header,
                HeaderHome& how, std::string& problem, std::vector<std::string>* mended = nullptr);

// The page a header gives its picture: its size, resolution (200 dpi where it gives none) and
// orientation (000,270 where it gives none).
PagePicture HeaderPicture(const unsigned char* header);

} // namespace scanleaf::core
