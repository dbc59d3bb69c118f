// The framing against the public test vectors, and the decoder against the streams that break
// receivers: replies split anywhere, several at once, damaged frames between good ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "qcom/crc16.h"
#include "qcom/hdlc.h"
#include "tests/support/hex.h"

namespace fendrel::qcom {
namespace {

Packet Hex(const std::string& text) {
    return fendrel::testing::HexBytes(text);
}

Packet Joined(Packet first, const Packet& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

std::vector<Packet> DecodeAll(const std::vector<Packet>& chunks, std::size_t* dropped = nullptr) {
    FrameDecoder decoder;
    std::vector<Packet> packets;
    for (const Packet& chunk : chunks) {
        decoder.Feed(chunk);
        while (std::optional<Packet> packet = decoder.Next())
            packets.push_back(*packet);
    }
    if (dropped != nullptr)
        *dropped = decoder.dropped();
    return packets;
}

// From libqcdm's tests (escaping, decapsulation, CRC) and the reference's worked frames.
const char* const kEscapeInput =
    "70 68 6f 6e 65 66 61 69 6c 75 72 65 0a 6e 6f 63 "
    "6f 6e 6e 65 63 74 69 6f 6e 74 6f 70 68 6f 6e 65 "
    "0a 70 68 6f 6e 7e 7e 7e 7d 7d 7e 7d 7e 7d 7e 6e "
    "6b 72 65 73 65 72 76 65 64 0a 6f 70 65 72 61 74 "
    "69 6f 6e 6e 6f 74 61 6c 6c 6f 77 65 64 0a 6f 70 "
    "65 72 61 74 69 6f 6e 6e 6f 74 73 75 70 70 6f 72 "
    "74 65 64 0a 70 68 73 69 6d 70 69 6e 72 65 71 75 "
    "69 72 65 64 0a 70 68 66 73 69 6d 70 69 6e 72 65 "
    "71 75 69 72 65 64 0a 70 68 66 73 69 6d 70 75 6b "
    "72 65 71 75 69 72 65 64 0a 73 69 6d 6e 6f 74 69 "
    "6e 73 65 72 74 65 64 0a 73 69 6d 70 69 6e 72 65 "
    "71 75 69 72 65 64 0a 73 69 6d 70 75 6b 72 65 71 "
    "75 69 72 65 64 0a 73 69 6d 66 61 69 6c 75 72 65 "
    "0a 73 69 6d 62 75 73 79 0a 73 69 6d 77 72 6f 6e "
    "67 0a 69 6e 63 6f 72 72 65 63 74 70 61 73 73 77 "
    "6f 72 64 0a 73 69 6d 70 69 6e 32 72 65 71 75 69";
const char* const kEscapeExpected =
    "70 68 6f 6e 65 66 61 69 6c 75 72 65 0a 6e 6f 63 "
    "6f 6e 6e 65 63 74 69 6f 6e 74 6f 70 68 6f 6e 65 "
    "0a 70 68 6f 6e 7d 5e 7d 5e 7d 5e 7d 5d 7d 5d 7d "
    "5e 7d 5d 7d 5e 7d 5d 7d 5e 6e 6b 72 65 73 65 72 "
    "76 65 64 0a 6f 70 65 72 61 74 69 6f 6e 6e 6f 74 "
    "61 6c 6c 6f 77 65 64 0a 6f 70 65 72 61 74 69 6f "
    "6e 6e 6f 74 73 75 70 70 6f 72 74 65 64 0a 70 68 "
    "73 69 6d 70 69 6e 72 65 71 75 69 72 65 64 0a 70 "
    "68 66 73 69 6d 70 69 6e 72 65 71 75 69 72 65 64 "
    "0a 70 68 66 73 69 6d 70 75 6b 72 65 71 75 69 72 "
    "65 64 0a 73 69 6d 6e 6f 74 69 6e 73 65 72 74 65 "
    "64 0a 73 69 6d 70 69 6e 72 65 71 75 69 72 65 64 "
    "0a 73 69 6d 70 75 6b 72 65 71 75 69 72 65 64 0a "
    "73 69 6d 66 61 69 6c 75 72 65 0a 73 69 6d 62 75 "
    "73 79 0a 73 69 6d 77 72 6f 6e 67 0a 69 6e 63 6f "
    "72 72 65 63 74 70 61 73 73 77 6f 72 64 0a 73 69 "
    "6d 70 69 6e 32 72 65 71 75 69";
const char* const kDecapsulateInput =
    "40 03 00 01 00 19 f0 00 16 00 21 00 1c 00 d8 00 "
    "3f 00 56 01 3f 00 15 00 1a 00 11 01 3f 00 92 01 "
    "3f 00 39 00 3f 00 95 01 3f 00 12 00 3f 00 23 01 "
    "3f 00 66 00 3f 00 0b 01 3f 00 ae 00 3f 00 02 01 "
    "3f 00 a8 00 3f 00 50 01 3f 00 f8 01 3f 00 57 00 "
    "3f 00 7d 5e 00 3f 00 93 00 3f 00 bd 00 3f 00 77 "
    "01 3f 00 b7 00 3f 00 ab 00 3f 00 33 00 3f 00 00 "
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
    "00 00 00 00 00 00 ad de 00 00 00 00 00 00 00 13 "
    "13 50 1f 00 00 ff ff 00 aa 19 00 00 00 00 00 00 "
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
    "00 00 00 00 00 00 00 00 00 00 00 00 b1 c4 7d 5e "
    "7d 5e 7d 5d 5d 04 58 1b 5b 1b 00 00 00 00 00 00 "
    "00 00 00 00 00 00 00 00 00 00 65 69 7e";
const char* const kStatusCrcInput =
    "4b 0f 00 00 00 00 00 00 05 00 00 00 02 00 00 00 "
    "02 00 00 00 ff ff ff 3f ff 00 00 00 00 00 00 00 "
    "00 00 00 00 01 00 00 00 00 00 00 00 ff ff ff ff";

// An NV read request of item 178 with zero data and status.
Packet NvReadRequest178() {
    Packet request(133, 0);
    request[0] = 0x26;
    request[1] = 0xb2;
    return request;
}

TEST(Framing, PublicTestVectors) {
    enum Operation { kCrc, kEscape, kFrame, kFrameWithoutFlag };
    struct Vector {
        const char* name;
        Operation operation;
        Packet input;
        Packet expected;        // kEscape, kFrame, kFrameWithoutFlag
        std::uint16_t crc = 0;  // kCrc
    };
    const std::string check = "123456789";
    const Vector vectors[] = {
        {"CRC check value", kCrc, Packet(check.begin(), check.end()), {}, 0x906E},
        {"CRC of an NV read request", kCrc, NvReadRequest178(), {}, 0x6D69},
        {"CRC of a status reply", kCrc, Hex(kStatusCrcInput), {}, 0x097A},
        {"escaping ten flags and escapes", kEscape, Hex(kEscapeInput), Hex(kEscapeExpected)},
        {"escaping without special bytes", kEscape, Hex("01 02 03"), Hex("01 02 03")},
        {"encapsulated subsystem request", kFrameWithoutFlag, Hex("4b 05 08 00"),
         Hex("4b 05 08 00 01 dd 7e")},
        {"frame with leading flag", kFrame, Hex("01 02 03 04"), Hex("7e 01 02 03 04 91 39 7e")},
        {"frame with escapes", kFrame, Hex("01 02 03 7e 04 7d 05 06 7e 07"),
         Hex("7e 01 02 03 7d 5e 04 7d 5d 05 06 7d 5e 07 d6 16 7e")},
        {"status request", kFrameWithoutFlag, Hex("0c"), Hex("0c 14 3a 7e")},
        {"mode change offline", kFrameWithoutFlag, Hex("29 01 00"), Hex("29 01 00 31 40 7e")},
        {"mode change reset", kFrameWithoutFlag, Hex("29 02 00"), Hex("29 02 00 59 6a 7e")},
        {"switch to downloader", kFrameWithoutFlag, Hex("3a"), Hex("3a a1 6e 7e")},
        {"download NOP", kFrame, Hex("06"), Hex("7e 06 4e 95 7e")},
        {"download parameter request", kFrame, Hex("07"), Hex("7e 07 c7 84 7e")},
        {"download reset", kFrame, Hex("0a"), Hex("7e 0a 22 5f 7e")},
        {"download ACK", kFrame, Hex("02"), Hex("7e 02 6a d3 7e")},
        {"download GO", kFrame, Hex("05 20 01 20 00"), Hex("7e 05 20 01 20 00 9f 1f 7e")},
    };
    for (const Vector& vector : vectors) {
        SCOPED_TRACE(vector.name);
        switch (vector.operation) {
            case kCrc:
                EXPECT_EQ(Crc16X25(vector.input), vector.crc);
                break;
            case kEscape:
                EXPECT_EQ(Escape(vector.input), vector.expected);
                break;
            case kFrame:
                EXPECT_EQ(EncodeFrame(vector.input), vector.expected);
                break;
            case kFrameWithoutFlag:
                EXPECT_EQ(EncodeFrame(vector.input, LeadingFlag::kWithout), vector.expected);
                break;
        }
        if (vector.operation == kFrame || vector.operation == kFrameWithoutFlag) {
            EXPECT_EQ(DecodeAll({vector.expected}), std::vector<Packet>{vector.input});
        }
    }
}

TEST(Framing, DecodesThePublicCapturesAndRejectsAForeignFrame) {
    std::size_t dropped = 0;
    const std::vector<Packet> packets = DecodeAll({Hex(kDecapsulateInput)}, &dropped);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].size(), 214u);
    EXPECT_EQ(packets[0][0], 0x40);
    EXPECT_EQ(dropped, 0u);

    // A frame of another modem protocol whose last bytes are no CRC of ours.
    EXPECT_TRUE(DecodeAll({Hex("00 0a 6b 74 00 00 07 00 00 00 00 00 00 00 7e")}, &dropped).empty());
    EXPECT_EQ(dropped, 1u);
}

TEST(Framing, DecoderCopesWithTheStreamsThatBreakReceivers) {
    const Packet status = EncodeFrame(Hex("0c 01 02 03"), LeadingFlag::kWithout);
    const Packet escaped = EncodeFrame(Hex("29 7e 7d"));
    Packet bad_crc = status;
    bad_crc[bad_crc.size() - 2] ^= 0x01;
    Packet too_long(kMaxFramePacket + 3, 0x11);
    too_long.push_back(kFlag);
    struct Case {
        const char* name;
        std::vector<Packet> chunks;
        std::vector<Packet> packets;
        std::size_t dropped;
    };
    const Case cases[] = {
        {"two replies in one read",
         {Joined(status, escaped)},
         {Hex("0c 01 02 03"), Hex("29 7e 7d")},
         0},
        {"flags only", {Hex("7e 7e 7e")}, {}, 0},
        {"a bad CRC between good frames",
         {status, bad_crc, escaped},
         {Hex("0c 01 02 03"), Hex("29 7e 7d")},
         1},
        {"a frame too short for its CRC", {Hex("7e 05 7e 05 06 7e")}, {}, 2},
        {"an escape right before the flag", {Hex("7e 0c 7d 7e")}, {}, 1},
        {"noise before the first flag", {Hex("41 54 0d"), escaped}, {Hex("29 7e 7d")}, 1},
        {"a frame longer than any reply", {too_long, status}, {Hex("0c 01 02 03")}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::size_t dropped = 0;
        EXPECT_EQ(DecodeAll(c.chunks, &dropped), c.packets);
        EXPECT_EQ(dropped, c.dropped);
    }
}

TEST(Framing, ASplitAnywhereDecodesTheSame) {
    const Packet stream = Joined(EncodeFrame(Hex("26 7e 00 7d")), EncodeFrame(Hex("0c 5e 5d")));
    const std::vector<Packet> whole = DecodeAll({stream});
    ASSERT_EQ(whole.size(), 2u);
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        for (std::size_t second = cut; second <= stream.size(); ++second) {
            const Packet a(stream.begin(), stream.begin() + cut);
            const Packet b(stream.begin() + cut, stream.begin() + second);
            const Packet c(stream.begin() + second, stream.end());
            ASSERT_EQ(DecodeAll({a, b, c}), whole) << cut << " " << second;
        }
    }
    std::vector<Packet> bytes;
    for (const std::uint8_t byte : stream)
        bytes.push_back({byte});
    EXPECT_EQ(DecodeAll(bytes), whole);
}

TEST(Framing, AnyPacketSurvivesTheRoundTrip) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 200; ++round) {
        Packet packet(1 + random() % 300);
        for (std::uint8_t& value : packet)
            value = static_cast<std::uint8_t>(round % 2 ? byte(random) : 0x7C + random() % 3);
        EXPECT_EQ(DecodeAll({EncodeFrame(packet)}), std::vector<Packet>{packet});
    }
}

// The CRC taken several bytes at a time (eight through the tables, 64 and 16 folded) gives what
// the bit-by-bit definition gives, for every length around its steps and every start within a
// word.
TEST(Framing, TheCrcOfAnyLengthAndStartMatchesTheBitwiseDefinition) {
    const auto bitwise = [](const std::uint8_t* data, std::size_t length) {
        std::uint16_t crc = 0xFFFF;
        for (std::size_t i = 0; i < length; ++i) {
            crc ^= data[i];
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408) : crc >> 1;
        }
        return static_cast<std::uint16_t>(~crc);
    };
    std::mt19937 random(11);
    Packet data(300);
    for (std::uint8_t& value : data)
        value = static_cast<std::uint8_t>(random());
    for (std::size_t start = 0; start < 8; ++start) {
        for (std::size_t length = 0; start + length <= data.size(); ++length)
            ASSERT_EQ(Crc16X25(data.data() + start, length), bitwise(data.data() + start, length))
                << start << " " << length;
    }
}

// The largest packet a decoder takes, full of bytes that need escaping, fed in pieces that cut
// its runs anywhere; one byte more and the frame is dropped, and the next frame still decodes.
TEST(Framing, TheLargestPacketDecodesAndOneByteMoreIsDropped) {
    std::mt19937 random(5);
    for (const std::size_t size : {kMaxFramePacket, kMaxFramePacket + 1}) {
        SCOPED_TRACE(size);
        Packet packet(size);
        for (std::uint8_t& value : packet)
            value = static_cast<std::uint8_t>(random() % 8 == 0 ? 0x7C + random() % 3 : random());
        const Packet next = Hex("0c 7d 01");
        const Packet stream = Joined(EncodeFrame(packet), EncodeFrame(next));
        std::vector<Packet> pieces;
        for (std::size_t at = 0; at < stream.size();) {
            const std::size_t piece = std::min<std::size_t>(1 + random() % 700, stream.size() - at);
            pieces.emplace_back(stream.begin() + at, stream.begin() + at + piece);
            at += piece;
        }
        std::size_t dropped = 0;
        const std::vector<Packet> expected =
            size == kMaxFramePacket ? std::vector<Packet>{packet, next} : std::vector<Packet>{next};
        EXPECT_EQ(DecodeAll(pieces, &dropped), expected);
        EXPECT_EQ(dropped, size == kMaxFramePacket ? 0u : 1u);
    }
}

}  // namespace
}  // namespace fendrel::qcom
