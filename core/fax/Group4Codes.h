// The code words of T.4 and T.6 (Group 3 and Group 4 fax), shared by the decoder and the encoder.
#pragma once

#include <cstddef>

namespace scanleaf::core {

// A code as its bits, and what it stands for.
struct G4Code {
    const char* bits;
    int value;
};

// Modes: pass, horizontal, vertical -3..3 (as 2..8), extension.
inline constexpr int kG4Pass = 0, kG4Horizontal = 1, kG4Vertical0 = 5, kG4Extension = 9;
extern const G4Code kG4ModeCodes[10];
// Run lengths, terminating (0-63) and make-up (64-1728); the extended make-up codes
// (1792-2560) serve both colours.
extern const G4Code kG4WhiteCodes[91];
extern const G4Code kG4BlackCodes[91];
extern const G4Code kG4ExtendedMakeUp[13];

} // namespace scanleaf::core
