#include "engine/marker_search.h"

#if defined(__x86_64__) && defined(__GNUC__)
#define FENDREL_MARKER_SEARCH_AVX2 1
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cstdint>
#include <cstring>

namespace fendrel {
namespace {

#if defined(__SSE2__)
// The vector kernels search in rounds of 64 start positions: the positions whose first and last
// byte both match the marker's are found for all 64 with vector compares and one branch (they
// are rare in image data), and only those are compared whole. Each searches from `i` while a
// whole round fits, and leaves `i` at the first position it did not search.
constexpr std::size_t kPositionsPerRound = 64;

// Whether the marker starts at one of the positions set in `candidates` (bit n: position
// at + n), whose first and last bytes are known to match.
bool AnyCandidateMatches(const unsigned char* at, std::uint64_t candidates,
                         std::string_view marker) {
    while (candidates != 0) {
        const auto offset = static_cast<std::size_t>(__builtin_ctzll(candidates));
        if (std::memcmp(at + offset + 1, marker.data() + 1, marker.size() - 2) == 0)
            return true;
        candidates &= candidates - 1;
    }
    return false;
}

// Which of the 16 positions from `at` start with `first_byte` and hold `last_byte` `last` bytes
// further on: 0xFF in those bytes of the result, 0 in the others.
__m128i EndsMatch(const unsigned char* at, std::size_t last, __m128i first_byte,
                  __m128i last_byte) {
    const __m128i starts = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i ends = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + last));
    return _mm_and_si128(_mm_cmpeq_epi8(starts, first_byte), _mm_cmpeq_epi8(ends, last_byte));
}

std::uint64_t Mask(__m128i bytes) {
    return static_cast<std::uint16_t>(_mm_movemask_epi8(bytes));
}

bool SearchRoundsSse2(const unsigned char* bytes, std::size_t length, std::string_view marker,
                      std::size_t& i) {
    const std::size_t last = marker.size() - 1;
    const __m128i first_byte = _mm_set1_epi8(marker.front());
    const __m128i last_byte = _mm_set1_epi8(marker.back());
    for (; i + last + kPositionsPerRound <= length; i += kPositionsPerRound) {
        const unsigned char* at = bytes + i;
        const __m128i a = EndsMatch(at, last, first_byte, last_byte);
        const __m128i b = EndsMatch(at + 16, last, first_byte, last_byte);
        const __m128i c = EndsMatch(at + 32, last, first_byte, last_byte);
        const __m128i d = EndsMatch(at + 48, last, first_byte, last_byte);
        if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d))) == 0)
            continue;
        if (AnyCandidateMatches(at, Mask(a) | Mask(b) << 16 | Mask(c) << 32 | Mask(d) << 48,
                                marker))
            return true;
    }
    return false;
}
#endif

#if defined(FENDREL_MARKER_SEARCH_AVX2)
// The same rounds with 32-byte vectors. The program is built for every x86-64 processor, so
// these functions alone use the wider instructions, and only where the processor has them.
__attribute__((target("avx2"))) __m256i EndsMatchAvx2(const unsigned char* at, std::size_t last,
                                                      __m256i first_byte, __m256i last_byte) {
    const __m256i starts = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    const __m256i ends = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + last));
    return _mm256_and_si256(_mm256_cmpeq_epi8(starts, first_byte),
                            _mm256_cmpeq_epi8(ends, last_byte));
}

__attribute__((target("avx2"))) bool SearchRoundsAvx2(const unsigned char* bytes,
                                                      std::size_t length, std::string_view marker,
                                                      std::size_t& i) {
    const std::size_t last = marker.size() - 1;
    const __m256i first_byte = _mm256_set1_epi8(marker.front());
    const __m256i last_byte = _mm256_set1_epi8(marker.back());
    for (; i + last + kPositionsPerRound <= length; i += kPositionsPerRound) {
        const unsigned char* at = bytes + i;
        const __m256i a = EndsMatchAvx2(at, last, first_byte, last_byte);
        const __m256i b = EndsMatchAvx2(at + 32, last, first_byte, last_byte);
        const __m256i any = _mm256_or_si256(a, b);
        if (_mm256_testz_si256(any, any))
            continue;
        const auto low = static_cast<std::uint32_t>(_mm256_movemask_epi8(a));
        const auto high = static_cast<std::uint32_t>(_mm256_movemask_epi8(b));
        if (AnyCandidateMatches(at, low | std::uint64_t{high} << 32, marker))
            return true;
    }
    return false;
}
#endif

// The vector rounds of `kernel` from position 0; `i` is left where they stopped (0 for the
// plain kernel, which has none).
bool SearchRounds(std::span<const unsigned char> bytes, std::string_view marker,
                  MarkerSearchKernel kernel, std::size_t& i) {
#if defined(__SSE2__)
    if (kernel == MarkerSearchKernel::kSse2)
        return SearchRoundsSse2(bytes.data(), bytes.size(), marker, i);
#endif
#if defined(FENDREL_MARKER_SEARCH_AVX2)
    if (kernel == MarkerSearchKernel::kAvx2)
        return SearchRoundsAvx2(bytes.data(), bytes.size(), marker, i);
#endif
    return false;
}

}  // namespace

std::vector<MarkerSearchKernel> AvailableMarkerSearchKernels() {
    std::vector<MarkerSearchKernel> kernels = {MarkerSearchKernel::kPlain};
#if defined(__SSE2__)
    kernels.push_back(MarkerSearchKernel::kSse2);
#endif
#if defined(FENDREL_MARKER_SEARCH_AVX2)
    if (__builtin_cpu_supports("avx2"))
        kernels.push_back(MarkerSearchKernel::kAvx2);
#endif
    return kernels;
}

bool ContainsMarker(std::span<const unsigned char> bytes, std::string_view marker) {
    static const MarkerSearchKernel fastest = AvailableMarkerSearchKernels().back();
    return ContainsMarker(bytes, marker, fastest);
}

bool ContainsMarker(std::span<const unsigned char> bytes, std::string_view marker,
                    MarkerSearchKernel kernel) {
    if (bytes.size() < marker.size())
        return false;
    // A plain search covers what the vector rounds left: the last positions, or everything.
    std::size_t i = 0;
    if (SearchRounds(bytes, marker, kernel, i))
        return true;
    const std::string_view rest(reinterpret_cast<const char*>(bytes.data()) + i, bytes.size() - i);
    return rest.find(marker) != std::string_view::npos;
}

}  // namespace fendrel
