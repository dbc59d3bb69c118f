#include "qcom/hdlc.h"

#include <algorithm>
#include <cstring>

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

// The next flag or escape byte of a buffer from a given place on. Both are rare in packet data,
// so each is looked for with memchr and only again once it has been passed: the bytes between
// them are handled as whole runs.
class SpecialBytes {
  public:
    SpecialBytes(const std::uint8_t* begin, const std::uint8_t* end)
        : end_(end), flag_(Find(begin, kFlag)), escape_(Find(begin, kEscape)) {}

    // The first flag or escape at or after `from`, or the end.
    const std::uint8_t* Next(const std::uint8_t* from) {
        if (flag_ < from)
            flag_ = Find(from, kFlag);
        if (escape_ < from)
            escape_ = Find(from, kEscape);
        return std::min(flag_, escape_);
    }
    const std::uint8_t* NextFlag(const std::uint8_t* from) {
        if (flag_ < from)
            flag_ = Find(from, kFlag);
        return flag_;
    }

  private:
    const std::uint8_t* Find(const std::uint8_t* from, std::uint8_t byte) const {
        if (from == end_)  // also an empty buffer's null
            return end_;
        const void* found = std::memchr(from, byte, static_cast<std::size_t>(end_ - from));
        return found != nullptr ? static_cast<const std::uint8_t*>(found) : end_;
    }

    const std::uint8_t* const end_;
    const std::uint8_t* flag_;
    const std::uint8_t* escape_;
};

void AppendEscaped(Packet& out, std::span<const std::uint8_t> bytes) {
    const std::uint8_t* at = bytes.data();
    const std::uint8_t* const end = at + bytes.size();
    SpecialBytes special(at, end);
    while (true) {
        const std::uint8_t* const next = special.Next(at);
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
    SpecialBytes special(at, end);
    while (at < end) {
        if (overflowed_) {
            // The rest of an over-long frame, up to its flag.
            at = special.NextFlag(at);
            if (at == end)
                return;
            EndFrame();
            ++at;
            continue;
        }
        const std::uint8_t* const next = special.Next(at);
        if (escaped_ && at < next) {
            escaped_ = false;
            Take(at, at + 1, /*escaped_first=*/true);
            ++at;
            continue;
        }
        Take(at, next);
        if (next == end)
            return;
        at = next + 1;
        if (*next == kFlag) {
            EndFrame();
        } else if (escaped_) {  // an escaped escape byte
            escaped_ = false;
            Take(next, next + 1, /*escaped_first=*/true);
        } else {
            escaped_ = true;
        }
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
            // A copy, so that the partial frame keeps its room for the next one.
            if (intact)
                packets_.emplace_back(partial_.begin(),
                                      partial_.begin() + static_cast<std::ptrdiff_t>(body));
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
