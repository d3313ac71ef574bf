// Drawings handed on as PDF or TIFF: each one read and checked with its card and title, and the
// documents they are written into, whole or not at all, their Group 4 streams unchanged.
#pragma once

#include "core/cals/CalsImage.h"
#include "core/cals/CarriedHeader.h"
#include "core/pdf/PdfWriter.h"
#include "core/tiff/TiffWriter.h"
#include "tools/card/batch/Files.h"
#include "tools/card/cards/Card.h"

#include <windows.h>

#include <memory>
#include <string>

namespace card {

// One drawing ready to be written: what its header says, its bytes, its card and its title.
struct HandedDrawing {
    scanleaf::core::CalsImageInfo info;
    std::string bytes; // the whole file: the header, then the stream
    scanleaf::core::CardValues card;       // the plug-in's variables, where the vault's settings are set
    scanleaf::core::CarriedHeader header;  // the header as it travels, always
    std::wstring title;

    const std::uint8_t* Stream() const { return reinterpret_cast<const std::uint8_t*>(bytes.data()) + scanleaf::core::kHeaderSize; }
    size_t StreamSize() const { return bytes.size() - scanleaf::core::kHeaderSize; }
    // The page it makes: its size, resolution (200 dpi where the header gives none) and orientation.
    scanleaf::core::PagePicture Picture() const;
};

// How drawings are handed on.
struct HandOn {
    bool check = true;                                      // decoded in full first
    std::wstring title;                                     // the variable that titles a drawing; empty: its name
    scanleaf::core::Pdfa pdfa = scanleaf::core::Pdfa::None; // the PDF/A part a page must fit
    bool vault = false; // the host's shared folder is set, so the plug-in reads each card
};

// Whether the host's shared folder is set; asked once a run, since each answer reads the registry.
bool VaultIsSet();

// The drawing's bytes, false with `problem` when they cannot be read.
bool ReadDrawingBytes(const std::wstring& path, HandedDrawing& drawing, std::wstring& problem);
// Why the drawing (its bytes read already) cannot be handed on; empty when it can, with its
// header, card and title filled in. Without the host's shared folder (`how.vault` false) the
// plug-in reads no card: the drawing goes with its header alone, titled by a record of that name
// or its file's name.
std::wstring LoadDrawing(const std::wstring& path, const HandOn& how, CardReader& reader, HandedDrawing& drawing);

// One document being written: a PDF, or a TIFF whose pages wait one behind so that the last
// one can end the chain of directories.
class Document {
public:
    Document(const std::wstring& path, bool pdf, scanleaf::core::Pdfa pdfa);
    bool Ok() const { return ok_; }
    // The system's error where a write failed, or 0.
    DWORD Error() const { return error_; }
    void Add(HandedDrawing drawing, bool bookmark);
    // The information dictionary's title and the XMP card of a PDF.
    bool Finish(const std::wstring& title, const scanleaf::core::CardValues& card);

private:
    scanleaf::core::ByteSink Sink();
    void FlushTiff(bool last);

    AtomicFile file_;
    bool pdf_;
    bool ok_ = true;
    scanleaf::core::PdfWriter pdfWriter_;
    scanleaf::core::TiffWriter tiffWriter_;
    std::unique_ptr<HandedDrawing> pending_;
    DWORD error_ = 0;
};

} // namespace card
