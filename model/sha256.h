#pragma once
// SHA-256 computed by the processor's SHA instructions (with SSSE3 and
// SSE4.1), for processors that have them: the system's SHA-256 under Wine
// does not use them and runs at a fifth of their speed.
#include <cstddef>
#include <cstdint>

// Whether this processor has the instructions the functions below use.
// Asked of the processor once.
bool ProcessorHasShaInstructions();

struct Sha256 {
    uint32_t state[8];
    uint64_t bytes;  // added so far
    unsigned char pending[64];  // the start of a block not yet whole
};

// Only where ProcessorHasShaInstructions().
void Sha256Begin(Sha256* hash);
void Sha256Add(Sha256* hash, const void* bytes, size_t count);
void Sha256Finish(Sha256* hash, unsigned char digest[32]);
