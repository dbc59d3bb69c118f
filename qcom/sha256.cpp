#include "qcom/sha256.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <cpuid.h>
#include <immintrin.h>
#endif

#include "platform/byte_order.h"

namespace fendrel::qcom {
namespace {

constexpr std::array<std::uint32_t, 64> kRoundConstants = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

constexpr std::array<std::uint32_t, 8> kInitialState = {
    0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19,
};

constexpr std::uint32_t Rotate(std::uint32_t value, int bits) {
    return (value >> bits) | (value << (32 - bits));
}

using State = std::array<std::uint32_t, 8>;
using Compression = void (*)(State& state, const std::uint8_t* block);

void CompressPortable(State& state, const std::uint8_t* block) {
    std::array<std::uint32_t, 64> w;
    for (int i = 0; i < 16; ++i)
        w[i] = platform::LoadBe32(block + 4 * i);
    for (int i = 16; i < 64; ++i) {
        const std::uint32_t s0 = Rotate(w[i - 15], 7) ^ Rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const std::uint32_t s1 = Rotate(w[i - 2], 17) ^ Rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int i = 0; i < 64; ++i) {
        const std::uint32_t s1 = Rotate(e, 6) ^ Rotate(e, 11) ^ Rotate(e, 25);
        const std::uint32_t choice = (e & f) ^ (~e & g);
        const std::uint32_t t1 = h + s1 + choice + kRoundConstants[i] + w[i];
        const std::uint32_t s0 = Rotate(a, 2) ^ Rotate(a, 13) ^ Rotate(a, 22);
        const std::uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
        const std::uint32_t t2 = s0 + majority;
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
}

#if defined(__x86_64__) && defined(__GNUC__)

// The SHA extensions work on the state as two halves, ABEF and CDGH, and on four message words
// and their round constants at a time (two rounds per instruction).
__attribute__((target("sha,sse4.1,ssse3"))) void CompressWithInstructions(
    State& state, const std::uint8_t* block) {
    // Big-endian words of the block into the lanes' order.
    const __m128i byte_swap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    const __m128i dcba =
        _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0])), 0xB1);
    const __m128i efgh =
        _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4])), 0x1B);
    __m128i abef = _mm_alignr_epi8(dcba, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, dcba, 0xF0);
    const __m128i abef_before = abef;
    const __m128i cdgh_before = cdgh;

    // Message words 4i to 4i+3 of group i, the last four groups kept.
    __m128i words[4];
    for (int i = 0; i < 4; ++i) {
        words[i] = _mm_shuffle_epi8(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i)), byte_swap);
    }
    for (int i = 0; i < 16; ++i) {
        if (i >= 4) {
            // W[t] = s1(W[t-2]) + W[t-7] + s0(W[t-15]) + W[t-16], four at a time.
            __m128i next = _mm_sha256msg1_epu32(words[i & 3], words[(i + 1) & 3]);
            next = _mm_add_epi32(next, _mm_alignr_epi8(words[(i + 3) & 3], words[(i + 2) & 3], 4));
            words[i & 3] = _mm_sha256msg2_epu32(next, words[(i + 3) & 3]);
        }
        __m128i round = _mm_add_epi32(
            words[i & 3],
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kRoundConstants[4 * i])));
        cdgh = _mm_sha256rnds2_epu32(cdgh, abef, round);
        round = _mm_shuffle_epi32(round, 0x0E);
        abef = _mm_sha256rnds2_epu32(abef, cdgh, round);
    }
    abef = _mm_add_epi32(abef, abef_before);
    cdgh = _mm_add_epi32(cdgh, cdgh_before);

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), _mm_alignr_epi8(dchg, feba, 8));
}

bool ProcessorHasShaInstructions() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0)
        return false;
    const bool ssse3 = (ecx & (1u << 9)) != 0;
    const bool sse41 = (ecx & (1u << 19)) != 0;
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0)
        return false;
    const bool sha = (ebx & (1u << 29)) != 0;
    return ssse3 && sse41 && sha;
}

#endif

Compression FastestCompression() {
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool has_instructions = ProcessorHasShaInstructions();
    if (has_instructions)
        return &CompressWithInstructions;
#endif
    return &CompressPortable;
}

}  // namespace

Sha256::Sha256(Sha256Compression compression)
    : state_(kInitialState),
      compress_(compression == Sha256Compression::kFastest ? FastestCompression()
                                                           : &CompressPortable) {}

void Sha256::Update(std::span<const std::uint8_t> bytes) {
    blocks_.Update(bytes, [this](const std::uint8_t* block) { compress_(state_, block); });
}

Sha256Digest Sha256::Finish() {
    blocks_.Finish(platform::LengthOrder::kBigEndian,
                   [this](const std::uint8_t* block) { compress_(state_, block); });
    Sha256Digest digest;
    for (std::size_t i = 0; i < state_.size(); ++i)
        platform::StoreBe32(&digest[4 * i], state_[i]);
    return digest;
}

Sha256Digest Sha256Of(std::span<const std::uint8_t> bytes) {
    Sha256 sha;
    sha.Update(bytes);
    return sha.Finish();
}

std::string HexDigest(const Sha256Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

}  // namespace fendrel::qcom
