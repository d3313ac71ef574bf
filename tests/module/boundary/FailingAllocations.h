// Allocations of this program that fail on purpose: the Nth allocation of the calling thread
// after Arm throws, as exhausted memory or as some other exception, so that a test can make
// every allocation below a COM method fail in turn.
#pragma once

namespace faults {

enum class Thrown { OutOfMemory, Other };

// The `nth` allocation from now on this thread throws `thrown`; later ones succeed.
void Arm(long nth, Thrown thrown);
// Whether the armed allocation was reached; disarms.
bool Disarm();

// The same for the allocations of every other thread (a worker the calls start), counted together:
// the `nth` of them from now on throws exhausted memory.
void ArmOtherThreads(long nth);
bool DisarmOtherThreads();

} // namespace faults
