#include "tools/card/cards/LineCountFinding.h"

#include "core/cals/CalsImage.h"
#include "core/cals/LineCount.h"
#include "tools/card/batch/Console.h"
#include "tools/card/batch/Files.h"
#include "tools/card/cards/HeaderFile.h"
#include "tools/card/cards/PluginCodes.h"

namespace card {

namespace core = scanleaf::core;

std::wstring Lines(std::uint64_t n) { return std::to_wstring(n) + (n == 1 ? L" line" : L" lines"); }

LineCountFinding ExamineLineCount(const std::wstring& path) {
    LineCountFinding f;
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) return f.reason = L"cannot be read", f;
    if (IsForeignHeader(bytes.data(), bytes.size())) return f.reason = kNotCalsText, f;
    const core::LineCountProof proof = core::ProveLineCount(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    f.lines = proof.lines;
    f.decoded = proof.decoded;
    using V = core::LineCountVerdict;
    switch (proof.verdict) {
    case V::Sound: f.sound = true; break;
    case V::Mend:
        f.before = bytes.substr(0, core::kHeaderSize);
        f.header = proof.header;
        break;
    case V::Short: f.reason = L"shorter than a CALS header"; break;
    case V::NotType1: f.reason = L"not type 1: no Group 4 stream to tell its lines"; break;
    case V::NoSize: f.reason = L"no usable rpelcnt"; break;
    case V::CutShort: f.reason = L"the stream is cut short after " + Lines(f.decoded) + L" (no end-of-block code)"; break;
    case V::Fails:
        f.reason = L"the stream fails after " + Lines(f.decoded) + L": " + FromUtf8(core::G4StopText(proof.stop)) +
                   L" (a wrong width or damaged data)";
        break;
    case V::NoLine: f.reason = L"the stream holds no line"; break;
    case V::NoRoom: f.reason = L"rpelcnt has no room for " + std::to_wstring(f.decoded); break;
    }
    return f;
}

} // namespace card
