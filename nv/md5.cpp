#include "nv/md5.h"
#include "platform/byte_order.h"

#include <algorithm>
#include <bit>

namespace fendrel {
namespace {

// Per-step additive constants: the integer part of 2^32 * |sin(i + 1)|, RFC 1321 section 3.4.
constexpr std::uint32_t kSineTable[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Left-rotation amounts, four per round.
constexpr int kShifts[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

}  // namespace

Md5::Md5() : state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476} {}

void Md5::Compress(const std::uint8_t* block) {
    std::uint32_t words[16];
    for (int i = 0; i < 16; ++i)
        words[i] = platform::LoadLe32(block + 4 * i);

    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (int step = 0; step < 64; ++step) {
        const int round = step / 16;
        std::uint32_t mixed;
        int word;
        switch (round) {
            case 0:
                mixed = (b & c) | (~b & d);
                word = step;
                break;
            case 1:
                mixed = (b & d) | (c & ~d);
                word = (5 * step + 1) % 16;
                break;
            case 2:
                mixed = b ^ c ^ d;
                word = (3 * step + 5) % 16;
                break;
            default:
                mixed = c ^ (b | ~d);
                word = (7 * step) % 16;
                break;
        }
        const std::uint32_t sum = a + mixed + kSineTable[step] + words[word];
        a = d;
        d = c;
        c = b;
        b += std::rotl(sum, kShifts[round][step % 4]);
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

void Md5::Update(std::span<const std::uint8_t> bytes) {
    blocks_.Update(bytes, [this](const std::uint8_t* block) { Compress(block); });
}

void Md5::Update(std::string_view text) {
    Update(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

Md5Digest Md5::Finish() {
    blocks_.Finish(platform::LengthOrder::kLittleEndian,
                   [this](const std::uint8_t* block) { Compress(block); });
    Md5Digest digest;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j)
            digest[4 * i + j] = static_cast<std::uint8_t>(state_[i] >> (8 * j));
    }
    return digest;
}

Md5Digest Md5Of(std::span<const std::uint8_t> bytes) {
    Md5 md5;
    md5.Update(bytes);
    return md5.Finish();
}

}  // namespace fendrel
