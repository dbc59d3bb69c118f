#include "nv/md5.h"

#include <gtest/gtest.h>

#include <string>

namespace fendrel {
namespace {

std::string Hex(const Md5Digest& digest) {
    std::string text;
    for (const std::uint8_t byte : digest) {
        static constexpr char kDigits[] = "0123456789abcdef";
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xf];
    }
    return text;
}

std::string Md5Hex(std::string_view text) {
    Md5 md5;
    md5.Update(text);
    return Hex(md5.Finish());
}

struct Vector {
    std::string message;
    const char* digest;
};

// The test suite of RFC 1321 (appendix A.5), then messages around the padding boundaries (a
// message of 56 bytes or more needs a second padding block) and a long one, whose digests come
// from an independent implementation.
const Vector kVectors[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
    {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
    {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
    {std::string(63, 'a'), "b06521f39153d618550606be297466d5"},
    {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
    {std::string(65, 'a'), "c743a45e0d2e6a95cb859adae0248435"},
    {std::string(119, 'a'), "8a7bd0732ed6a28ce75f6dabc90e1613"},
    {std::string(120, 'a'), "5f61c0ccad4cac44c75ff505e1f1e537"},
    {std::string(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21"},
};

TEST(Md5, KnownDigests) {
    for (const Vector& vector : kVectors) {
        EXPECT_EQ(Md5Hex(vector.message), vector.digest) << vector.message.size() << " bytes";
        EXPECT_EQ(Hex(Md5Of(std::span(reinterpret_cast<const std::uint8_t*>(vector.message.data()),
                                      vector.message.size()))),
                  vector.digest);
    }
}

// However a message is handed over, the digest is the same: split at every point, and byte by
// byte.
TEST(Md5, PiecesGiveTheDigestOfTheWhole) {
    const std::string message = kVectors[6].message + kVectors[5].message;  // 142 bytes
    const std::string whole = Md5Hex(message);
    for (std::size_t split = 0; split <= message.size(); ++split) {
        Md5 md5;
        md5.Update(std::string_view(message).substr(0, split));
        md5.Update(std::string_view(message).substr(split));
        EXPECT_EQ(Hex(md5.Finish()), whole) << "split at " << split;
    }
    Md5 bytewise;
    for (const char c : message)
        bytewise.Update(std::string_view(&c, 1));
    EXPECT_EQ(Hex(bytewise.Finish()), whole);
}

}  // namespace
}  // namespace fendrel
