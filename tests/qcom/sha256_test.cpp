// SHA-256 against the FIPS 180-4 examples, whole and in pieces across block boundaries, with
// the processor's SHA instructions (where it has them) and with the portable code.
#include <gtest/gtest.h>

#include <string>

#include "qcom/sha256.h"

namespace fendrel::qcom {
namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(Sha256, TheStandardsExamples) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [text, digest] : cases) {
        EXPECT_EQ(HexDigest(Sha256Of(Bytes(text))), digest) << text.substr(0, 20);
        Sha256 portable(Sha256Compression::kPortable);
        portable.Update(Bytes(text));
        EXPECT_EQ(HexDigest(portable.Finish()), digest) << text.substr(0, 20);
        // The same bytes fed in pieces of 1, 63, 64 and 65 bytes.
        Sha256 pieces;
        const std::size_t sizes[] = {1, 63, 64, 65};
        for (std::size_t at = 0, i = 0; at < text.size(); ++i) {
            const std::size_t size = std::min(sizes[i % 4], text.size() - at);
            pieces.Update(Bytes(text).subspan(at, size));
            at += size;
        }
        EXPECT_EQ(HexDigest(pieces.Finish()), digest) << text.substr(0, 20);
    }
}

}  // namespace
}  // namespace fendrel::qcom
