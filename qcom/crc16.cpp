#include "qcom/crc16.h"

#include <array>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

namespace fendrel::qcom {
namespace {

constexpr std::uint16_t kPolynomial = 0x8408;
// Bytes taken per step of the main loop.
constexpr std::size_t kSlice = 8;

using CrcTables = std::array<std::array<std::uint16_t, 256>, kSlice>;

// Table 0 is the classic byte table; table k advances a byte's remainder by k more zero bytes, so
// that eight bytes are folded in with eight independent look-ups instead of a chain of eight.
constexpr CrcTables MakeCrcTables() {
    CrcTables tables{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        std::uint16_t crc = static_cast<std::uint16_t>(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ kPolynomial) : crc >> 1;
        tables[0][byte] = crc;
    }
    for (std::size_t k = 1; k < kSlice; ++k) {
        for (unsigned byte = 0; byte < 256; ++byte) {
            const std::uint16_t previous = tables[k - 1][byte];
            tables[k][byte] =
                static_cast<std::uint16_t>((previous >> 8) ^ tables[0][previous & 0xFF]);
        }
    }
    return tables;
}

constexpr CrcTables kCrcTables = MakeCrcTables();
static_assert(kCrcTables[0][1] == 0x1189 && kCrcTables[0][128] == 0x8408 &&
              kCrcTables[0][255] == 0x0F78);

// The remainder `crc` carried on over `length` bytes with the tables.
std::uint32_t TableCrc(std::uint32_t crc, const unsigned char* data, std::size_t length) {
    for (; length >= kSlice; length -= kSlice, data += kSlice) {
        // The remainder meets the first two bytes; every byte then goes through the table that
        // accounts for the bytes after it in this slice.
        const std::uint32_t low = (data[0] | (data[1] << 8)) ^ crc;
        crc = kCrcTables[7][low & 0xFF] ^ kCrcTables[6][low >> 8] ^ kCrcTables[5][data[2]] ^
              kCrcTables[4][data[3]] ^ kCrcTables[3][data[4]] ^ kCrcTables[2][data[5]] ^
              kCrcTables[1][data[6]] ^ kCrcTables[0][data[7]];
    }
    for (; length > 0; --length, ++data)
        crc = (crc >> 8) ^ kCrcTables[0][(crc ^ *data) & 0xFF];
    return crc;
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define FENDREL_CRC16_FOLDING 1

// Long runs (stream-write blocks of several kilobytes, on both ends of the link) are folded with
// carry-less multiplication where the processor has it: 64 bytes per step in four independent
// 16-byte lanes instead of eight bytes through the tables.
//
// The bytes of a run, first bit first, are a polynomial whose first bit is its highest power,
// and the remainder of the run is that polynomial times x^16 modulo P = x^16 + x^12 + x^5 + 1.
// Loaded little-endian, bit t of a 16-byte lane is the coefficient of x^(127 - t). A lane X = H
// x^64 + L (H its low eight bytes) followed D bits later by a lane Y folds into Y as H (x^(D+64)
// mod P) + L (x^D mod P): the same remainder, in 128 bits. The products are formed by
// multiplying with the constants' coefficients placed at bit 63 - e for x^e, which gives the
// product one power short (bit t of the result stands for x^(126 - t)); the constants are taken
// one power higher to make up for it.
constexpr std::uint32_t PowerModP(unsigned power) {
    std::uint32_t remainder = 1;
    for (unsigned i = 0; i < power; ++i) {
        remainder <<= 1;
        if (remainder & 0x10000)
            remainder ^= 0x11021;
    }
    return remainder;
}

constexpr std::uint64_t FoldConstant(unsigned power) {
    const std::uint32_t remainder = PowerModP(power - 1);
    std::uint64_t placed = 0;
    for (unsigned e = 0; e < 16; ++e) {
        if ((remainder >> e) & 1)
            placed |= std::uint64_t{1} << (63 - e);
    }
    return placed;
}

constexpr std::size_t kLane = 16;
constexpr std::size_t kLanes = 4;
// Shorter runs are not worth the set-up.
constexpr std::size_t kShortestFolded = 2 * kLanes * kLane;

__attribute__((target("pclmul,sse2"))) __m128i Fold(__m128i lane, __m128i constants) {
    return _mm_xor_si128(_mm_clmulepi64_si128(lane, constants, 0x00),
                         _mm_clmulepi64_si128(lane, constants, 0x11));
}

// The remainder `crc` carried on over the whole lanes of `length` bytes (at least
// kShortestFolded); `length` is left with the bytes after them.
__attribute__((target("pclmul,sse2"))) std::uint32_t FoldedCrc(std::uint32_t crc,
                                                               const unsigned char*& data,
                                                               std::size_t& length) {
    const auto load = [&](std::size_t lane) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + lane * kLane));
    };
    const __m128i by_four = _mm_set_epi64x(static_cast<long long>(FoldConstant(kLanes * 128)),
                                           static_cast<long long>(FoldConstant(kLanes * 128 + 64)));
    const __m128i by_one = _mm_set_epi64x(static_cast<long long>(FoldConstant(128)),
                                          static_cast<long long>(FoldConstant(128 + 64)));
    // The remainder so far meets the first two bytes.
    __m128i lanes[kLanes];
    for (std::size_t i = 0; i < kLanes; ++i)
        lanes[i] = load(i);
    lanes[0] = _mm_xor_si128(lanes[0], _mm_cvtsi32_si128(static_cast<int>(crc)));
    data += kLanes * kLane;
    length -= kLanes * kLane;
    for (; length >= kLanes * kLane; data += kLanes * kLane, length -= kLanes * kLane) {
        for (std::size_t i = 0; i < kLanes; ++i)
            lanes[i] = _mm_xor_si128(Fold(lanes[i], by_four), load(i));
    }
    __m128i folded = lanes[0];
    for (std::size_t i = 1; i < kLanes; ++i)
        folded = _mm_xor_si128(Fold(folded, by_one), lanes[i]);
    for (; length >= kLane; data += kLane, length -= kLane)
        folded = _mm_xor_si128(Fold(folded, by_one), load(0));
    // What is left is the remainder of 16 bytes, taken from nothing.
    unsigned char last[kLane];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(last), folded);
    return TableCrc(0, last, kLane);
}

bool CanFold() {
    static const bool can = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
    return can;
}
#endif

}  // namespace

std::uint16_t Crc16X25(const void* bytes, std::size_t length) {
    const auto* data = static_cast<const unsigned char*>(bytes);
    std::uint32_t crc = 0xFFFF;
#ifdef FENDREL_CRC16_FOLDING
    if (length >= kShortestFolded && CanFold())
        crc = FoldedCrc(crc, data, length);
#endif
    return static_cast<std::uint16_t>(TableCrc(crc, data, length) ^ 0xFFFF);
}

}  // namespace fendrel::qcom
