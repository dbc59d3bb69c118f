#include "qcom/hdlc.h"

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

}  // namespace

Packet Escape(std::span<const std::uint8_t> bytes) {
    Packet out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (const std::uint8_t byte : bytes)
        AppendEscaped(out, byte);
    return out;
}

Packet EncodeFrame(std::span<const std::uint8_t> packet, LeadingFlag leading) {
    const std::uint16_t crc = Crc16X25(packet);
    Packet frame;
    frame.reserve(packet.size() + packet.size() / 8 + 6);
    if (leading == LeadingFlag::kWith)
        frame.push_back(kFlag);
    for (const std::uint8_t byte : packet)
        AppendEscaped(frame, byte);
    AppendEscaped(frame, static_cast<std::uint8_t>(crc & 0xFF));
    AppendEscaped(frame, static_cast<std::uint8_t>(crc >> 8));
    frame.push_back(kFlag);
    return frame;
}

void FrameDecoder::Feed(std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t byte : bytes) {
        if (byte == kFlag) {
            EndFrame();
            continue;
        }
        if (overflowed_)
            continue;  // the rest of an over-long frame, up to its flag
        if (escaped_) {
            escaped_ = false;
            partial_.push_back(static_cast<std::uint8_t>(byte ^ kEscapeXor));
        } else if (byte == kEscape) {
            escaped_ = true;
            continue;
        } else {
            partial_.push_back(byte);
        }
        if (partial_.size() > kMaxFramePacket + kCrcBytes) {
            overflowed_ = true;
            partial_.clear();
        }
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
                partial_.resize(body);
                packets_.push_back(std::move(partial_));
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
