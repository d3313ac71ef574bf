#include "core/cals/LineCount.h"

#include "core/cals/CalsImage.h"

namespace scanleaf::core {

LineCountProof ProveLineCount(const unsigned char* file, std::size_t size) {
    LineCountProof proof;
    using V = LineCountVerdict;
    if (size < kHeaderSize) return proof;
    const CalsImageInfo info = ReadImageInfo(file);
    if (!info.type1) return proof.verdict = V::NotType1, proof;
    if (!info.sizeKnown) return proof.verdict = V::NoSize, proof;
    Group4Decoder decoder(file + kHeaderSize, size - kHeaderSize, info.width);
    while (decoder.NextRow(nullptr)) {
    }
    proof.lines = info.height;
    proof.decoded = decoder.Rows();
    proof.stop = decoder.Stop();
    if (proof.stop == G4Stop::EndOfData) return proof.verdict = V::CutShort, proof;
    if (proof.stop != G4Stop::EndOfBlock) return proof.verdict = V::Fails, proof;
    if (proof.decoded == info.height) return proof.verdict = V::Sound, proof;
    if (proof.decoded == 0) return proof.verdict = V::NoLine, proof;
    proof.header.assign(reinterpret_cast<const char*>(file), kHeaderSize);
    if (!SetLineCount(proof.header, proof.decoded)) {
        proof.header.clear();
        return proof.verdict = V::NoRoom, proof;
    }
    return proof.verdict = V::Mend, proof;
}

} // namespace scanleaf::core
