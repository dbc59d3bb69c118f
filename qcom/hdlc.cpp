#include "qcom/hdlc.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "qcom/crc16.h"

namespace fendrel::qcom {
namespace {

constexpr std::size_t kCrcBytes = 2;

void AppendEscaped(Packet& out, std::uint8_t byte) {
    if (byte == kFlag || byte == kEscape) {
        out.push_back(kEscape);
        out.push_back(static_cast<std::uint8_t>(byte ^ kEscapeXor));
    } else {
        out.push_back(byte);
    }
}

// The first flag or escape byte in [from, end), or end. Both are rare in packet data (about one
// byte in 128 of an image), so the runs between them are long: they are scanned 16 bytes at a
// time where the processor compares 16 at once.
const std::uint8_t* FindSpecial(const std::uint8_t* from, const std::uint8_t* end) {
#if defined(__SSE2__) || defined(_M_X64)
    const __m128i flag = _mm_set1_epi8(static_cast<char>(kFlag));
    const __m128i escape = _mm_set1_epi8(static_cast<char>(kEscape));
    for (; end - from >= 16; from += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        const int found = _mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi8(bytes, flag), _mm_cmpeq_epi8(bytes, escape)));
        if (found != 0)
            return from + std::countr_zero(static_cast<unsigned>(found));
    }
#endif
    for (; from < end; ++from) {
        if (*from == kFlag || *from == kEscape)
            return from;
    }
    return end;
}

// The next flag in [from, end), or end.
const std::uint8_t* FindFlag(const std::uint8_t* from, const std::uint8_t* end) {
    if (from == end)  // also an empty buffer's null
        return end;
    const void* found = std::memchr(from, kFlag, static_cast<std::size_t>(end - from));
    return found != nullptr ? static_cast<const std::uint8_t*>(found) : end;
}

void AppendEscaped(Packet& out, std::span<const std::uint8_t> bytes) {
    const std::uint8_t* at = bytes.data();
    const std::uint8_t* const end = at + bytes.size();
    while (true) {
        const std::uint8_t* const next = FindSpecial(at, end);
        out.insert(out.end(), at, next);
        if (next == end)
            return;
        AppendEscaped(out, *next);
        at = next + 1;
    }
}

}  // namespace

Packet Escape(std::span<const std::uint8_t> bytes) {
    Packet out;
    out.reserve(bytes.size() + bytes.size() / 8);
    AppendEscaped(out, bytes);
    return out;
}

Packet EncodeFrame(std::span<const std::uint8_t> packet, LeadingFlag leading) {
    const std::uint16_t crc = Crc16X25(packet);
    Packet frame;
    frame.reserve(packet.size() + packet.size() / 8 + 6);
    if (leading == LeadingFlag::kWith)
        frame.push_back(kFlag);
    AppendEscaped(frame, packet);
    AppendEscaped(frame, static_cast<std::uint8_t>(crc & 0xFF));
    AppendEscaped(frame, static_cast<std::uint8_t>(crc >> 8));
    frame.push_back(kFlag);
    return frame;
}

void FrameDecoder::Feed(std::span<const std::uint8_t> bytes) {
    const std::uint8_t* at = bytes.data();
    const std::uint8_t* const end = at + bytes.size();
    while (at < end) {
        if (overflowed_) {
            // The rest of an over-long frame, up to its flag.
            at = FindFlag(at, end);
            if (at == end)
                return;
            EndFrame();
            ++at;
            continue;
        }
        if (escaped_ && *at != kFlag) {  // the byte after an escape, whatever it is
            escaped_ = false;
            Take(at, at + 1, /*escaped_first=*/true);
            ++at;
            continue;
        }
        const std::uint8_t* const next = FindSpecial(at, end);
        Take(at, next);
        if (next == end)
            return;
        at = next + 1;
        if (*next == kFlag)
            EndFrame();
        else
            escaped_ = true;
    }
}

void FrameDecoder::Take(const std::uint8_t* begin, const std::uint8_t* end, bool escaped_first) {
    if (begin == end)
        return;
    // A frame one byte over the limit is dropped anyway; nothing more of it is kept.
    const std::size_t size = partial_.size();
    const std::size_t room = kMaxFramePacket + kCrcBytes + 1 - size;
    partial_.insert(partial_.end(), begin,
                    begin + std::min(room, static_cast<std::size_t>(end - begin)));
    if (escaped_first)
        partial_[size] ^= kEscapeXor;
    if (partial_.size() > kMaxFramePacket + kCrcBytes) {
        overflowed_ = true;
        partial_.clear();
    }
}

void FrameDecoder::EndFrame() {
    const bool empty = partial_.empty() && !escaped_ && !overflowed_;
    if (!empty) {
        bool intact = !escaped_ && !overflowed_ && partial_.size() > kCrcBytes;
        if (intact) {
            const std::size_t body = partial_.size() - kCrcBytes;
            const std::uint16_t received =
                static_cast<std::uint16_t>(partial_[body] | (partial_[body + 1] << 8));
            intact = Crc16X25(partial_.data(), body) == received;
            if (intact) {
                // The frame's bytes become the packet; the next frame, likely of the same size,
                // gets as much room (a fresh allocation costs less than a copy of the bytes).
                const std::size_t room = partial_.capacity();
                partial_.resize(body);
                packets_.push_back(std::move(partial_));
                partial_ = Packet();
                partial_.reserve(room);
            }
        }
        if (!intact)
            ++dropped_;
    }
    partial_.clear();
    escaped_ = false;
    overflowed_ = false;
}

std::optional<Packet> FrameDecoder::Next() {
    if (packets_.empty())
        return std::nullopt;
    Packet packet = std::move(packets_.front());
    packets_.pop_front();
    return packet;
}

void FrameDecoder::Clear() {
    partial_.clear();
    escaped_ = false;
    overflowed_ = false;
    packets_.clear();
}

}  // namespace fendrel::qcom
