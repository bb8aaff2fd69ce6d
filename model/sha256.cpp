#include "model/sha256.h"

#include <cpuid.h>
#include <immintrin.h>

#include <cstring>

namespace {

// The first 32 bits of the fractional parts of the cube roots of the first 64 primes.
const uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

// The first 32 bits of the fractional parts of the square roots of the first 8 primes.
const uint32_t kInitialState[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                   0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

bool AskProcessor() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    const bool vectors = (ecx & bit_SSSE3) && (ecx & bit_SSE4_1);
    if (!vectors || !__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
    return (ebx & bit_SHA) != 0;
}

// Runs the compression over `count` 64-byte blocks. The instructions keep the
// eight working words as two halves: A, B, E, F in one register (A in the top
// lane) and C, D, G, H in the other; each rounds instruction makes two rounds
// and returns the new ABEF, whose old value is the new CDGH.
//
// Threads on i686 Windows may start with a stack aligned to 4 bytes, and the
// compiler keeps vectors it spills at 16: the entry realigns the stack. Loads
// and stores of the data and the state are unaligned.
__attribute__((target("sha,sse4.1"), force_align_arg_pointer, noinline)) void HashBlocks(
    uint32_t state[8], const unsigned char* blocks, size_t count) {
    // Each 32-bit word of a block is big-endian.
    const __m128i wordOrder = _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
    const __m128i dcba = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
    const __m128i hgfe = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0xB1);
    __m128i abef = _mm_unpacklo_epi64(hgfe, dcba);
    __m128i cdgh = _mm_unpackhi_epi64(hgfe, dcba);
    for (; count > 0; --count, blocks += 64) {
        const __m128i abefBefore = abef;
        const __m128i cdghBefore = cdgh;
        // The message schedule, four words a register: w0 holds the words of this group of four rounds.
        __m128i w0 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks)), wordOrder);
        __m128i w1 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16)), wordOrder);
        __m128i w2 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 32)), wordOrder);
        __m128i w3 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 48)), wordOrder);
#pragma GCC unroll 16
        for (unsigned group = 0; group < 16; ++group) {
            const __m128i wordsAndConstants = _mm_add_epi32(
                w0, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRoundConstants + 4 * group)));
            // Two rounds on the low two words, then two on the high two; the halves trade names and back.
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wordsAndConstants);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(wordsAndConstants, 0x0E));
            // W[t] = s1(W[t-2]) + W[t-7] + s0(W[t-15]) + W[t-16], four at a time, for the groups after the fourth.
            __m128i next = w3;
            if (group < 12)
                next = _mm_sha256msg2_epu32(
                    _mm_add_epi32(_mm_sha256msg1_epu32(w0, w1), _mm_alignr_epi8(w3, w2, 4)), w3);
            w0 = w1;
            w1 = w2;
            w2 = w3;
            w3 = next;
        }
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(_mm_unpackhi_epi64(abef, cdgh), 0xB1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4),
                     _mm_shuffle_epi32(_mm_unpacklo_epi64(abef, cdgh), 0xB1));
}

}  // namespace

bool ProcessorHasShaInstructions() {
    static const bool has = AskProcessor();
    return has;
}

void Sha256Begin(Sha256* hash) {
    memcpy(hash->state, kInitialState, sizeof kInitialState);
    hash->bytes = 0;
}

void Sha256Add(Sha256* hash, const void* bytes, size_t count) {
    const unsigned char* next = static_cast<const unsigned char*>(bytes);
    const size_t pending = hash->bytes & 63;
    hash->bytes += count;
    if (pending != 0) {
        const size_t taken = count < 64 - pending ? count : 64 - pending;
        memcpy(hash->pending + pending, next, taken);
        if (pending + taken < 64) return;
        HashBlocks(hash->state, hash->pending, 1);
        next += taken;
        count -= taken;
    }
    if (count >= 64) HashBlocks(hash->state, next, count / 64);
    memcpy(hash->pending, next + (count & ~static_cast<size_t>(63)), count & 63);
}

void Sha256Finish(Sha256* hash, unsigned char digest[32]) {
    // The bytes end with a one bit, zeros, and their length in bits as 64
    // bits big-endian at the end of a block: one more block when the length
    // does not fit after the one bit.
    unsigned char last[128] = {};
    const size_t pending = hash->bytes & 63;
    memcpy(last, hash->pending, pending);
    last[pending] = 0x80;
    const size_t blocks = pending < 56 ? 1 : 2;
    const uint64_t bits = hash->bytes * 8;
    for (unsigned index = 0; index < 8; ++index)
        last[blocks * 64 - 1 - index] = static_cast<unsigned char>(bits >> (8 * index));
    HashBlocks(hash->state, last, blocks);
    for (unsigned word = 0; word < 8; ++word)
        for (unsigned index = 0; index < 4; ++index)
            digest[4 * word + index] = static_cast<unsigned char>(hash->state[word] >> (24 - 8 * index));
}
