#include "qcom/sahara_protocol.h"

#include <array>

#include "platform/byte_order.h"

namespace fendrel::qcom::sahara {
namespace {

constexpr std::size_t kHelloBytes = 0x30;

struct Layout {
    Command command;
    const char* name;
    std::size_t length;
    std::size_t other_length;  // a second length some phones use, or 0
};

constexpr std::array<Layout, 17> kLayouts = {{
    {Command::kHello, "HELLO", kHelloBytes, 0},
    {Command::kHelloResponse, "HELLO_RESP", kHelloBytes, 0},
    {Command::kReadData, "READ_DATA", 0x14, 0},
    {Command::kEndOfImage, "END_OF_IMAGE_TX", 0x10, 0},
    {Command::kDone, "DONE", 0x08, 0},
    {Command::kDoneResponse, "DONE_RESP", 0x0C, 0},
    {Command::kReset, "RESET", 0x08, 0},
    {Command::kResetResponse, "RESET_RESP", 0x08, 0},
    {Command::kMemoryDebug, "MEMORY_DEBUG", 0x10, 0},
    {Command::kCommandReady, "CMD_READY", 0x08, 0x0C},
    {Command::kSwitchMode, "SWITCH_MODE", 0x0C, 0},
    {Command::kExecute, "EXECUTE", 0x0C, 0},
    {Command::kExecuteResponse, "EXECUTE_RESP", 0x10, 0},
    {Command::kExecuteData, "EXECUTE_DATA", 0x0C, 0},
    {Command::kMemoryDebug64, "MEMORY_DEBUG64", 0x18, 0},
    {Command::kReadData64, "READ_DATA64", 0x20, 0},
    {Command::kResetStateMachine, "RESET_STATE_MACHINE", 0x08, 0},
}};

const Layout* LayoutOf(std::uint32_t command) {
    for (const Layout& layout : kLayouts) {
        if (static_cast<std::uint32_t>(layout.command) == command)
            return &layout;
    }
    return nullptr;
}

const Layout& LayoutOf(Command command) {
    return *LayoutOf(static_cast<std::uint32_t>(command));
}

std::uint64_t LoadLe64(const std::uint8_t* at) {
    return std::uint64_t{platform::LoadLe32(at)} | std::uint64_t{platform::LoadLe32(at + 4)} << 32;
}

// Writes a packet's fields after its header.
class Writer {
  public:
    explicit Writer(Command command) : bytes_(LayoutOf(command).length, 0) {
        platform::StoreLe32(bytes_.data(), static_cast<std::uint32_t>(command));
        platform::StoreLe32(bytes_.data() + 4, static_cast<std::uint32_t>(bytes_.size()));
    }
    Writer& Word(std::uint32_t value) {
        platform::StoreLe32(bytes_.data() + at_, value);
        at_ += 4;
        return *this;
    }
    Writer& Wide(std::uint64_t value) {
        Word(static_cast<std::uint32_t>(value));
        return Word(static_cast<std::uint32_t>(value >> 32));
    }
    std::vector<std::uint8_t> Take() { return std::move(bytes_); }

  private:
    std::vector<std::uint8_t> bytes_;
    std::size_t at_ = kHeaderBytes;
};

struct Encoder {
    std::vector<std::uint8_t> operator()(const Hello& p) const {
        return Writer(Command::kHello)
            .Word(p.version)
            .Word(p.lowest_version)
            .Word(p.largest_packet)
            .Word(p.mode)
            .Take();
    }
    std::vector<std::uint8_t> operator()(const HelloResponse& p) const {
        return Writer(Command::kHelloResponse)
            .Word(p.version)
            .Word(p.lowest_version)
            .Word(p.status)
            .Word(p.mode)
            .Take();
    }
    std::vector<std::uint8_t> operator()(const ReadData& p) const {
        if (p.wide)
            return Writer(Command::kReadData64).Wide(p.image).Wide(p.offset).Wide(p.length).Take();
        return Writer(Command::kReadData)
            .Word(static_cast<std::uint32_t>(p.image))
            .Word(static_cast<std::uint32_t>(p.offset))
            .Word(static_cast<std::uint32_t>(p.length))
            .Take();
    }
    std::vector<std::uint8_t> operator()(const EndOfImage& p) const {
        return Writer(Command::kEndOfImage).Word(p.image).Word(p.status).Take();
    }
    std::vector<std::uint8_t> operator()(const Done&) const {
        return Writer(Command::kDone).Take();
    }
    std::vector<std::uint8_t> operator()(const DoneResponse& p) const {
        return Writer(Command::kDoneResponse).Word(p.complete).Take();
    }
    std::vector<std::uint8_t> operator()(const Reset&) const {
        return Writer(Command::kReset).Take();
    }
    std::vector<std::uint8_t> operator()(const ResetResponse&) const {
        return Writer(Command::kResetResponse).Take();
    }
    std::vector<std::uint8_t> operator()(const MemoryDebug& p) const {
        if (p.wide)
            return Writer(Command::kMemoryDebug64)
                .Wide(p.table_address)
                .Wide(p.table_length)
                .Take();
        return Writer(Command::kMemoryDebug)
            .Word(static_cast<std::uint32_t>(p.table_address))
            .Word(static_cast<std::uint32_t>(p.table_length))
            .Take();
    }
    std::vector<std::uint8_t> operator()(const CommandReady&) const {
        return Writer(Command::kCommandReady).Take();
    }
    std::vector<std::uint8_t> operator()(const SwitchMode& p) const {
        return Writer(Command::kSwitchMode).Word(p.mode).Take();
    }
    std::vector<std::uint8_t> operator()(const Execute& p) const {
        return Writer(Command::kExecute).Word(p.client_command).Take();
    }
    std::vector<std::uint8_t> operator()(const ExecuteResponse& p) const {
        return Writer(Command::kExecuteResponse).Word(p.client_command).Word(p.data_length).Take();
    }
    std::vector<std::uint8_t> operator()(const ExecuteData& p) const {
        return Writer(Command::kExecuteData).Word(p.client_command).Take();
    }
    std::vector<std::uint8_t> operator()(const ResetStateMachine&) const {
        return Writer(Command::kResetStateMachine).Take();
    }
};

// The command of a packet (by its encoding: only for messages).
Command CommandOf(const Packet& packet) {
    const std::vector<std::uint8_t> bytes = std::visit(Encoder{}, packet);
    return static_cast<Command>(platform::LoadLe32(bytes.data()));
}

}  // namespace

std::vector<std::uint8_t> Encode(const Packet& packet) {
    return std::visit(Encoder{}, packet);
}

std::optional<std::size_t> PacketLength(std::span<const std::uint8_t> header) {
    if (header.size() < kHeaderBytes)
        return std::nullopt;
    const Layout* layout = LayoutOf(platform::LoadLe32(header.data()));
    const std::uint32_t length = platform::LoadLe32(header.data() + 4);
    if (layout == nullptr)
        return std::nullopt;
    // other_length 0 means no second length, not a packet of no bytes.
    if (length != layout->length && (layout->other_length == 0 || length != layout->other_length))
        return std::nullopt;
    return length;
}

Decoded Decode(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderBytes)
        return {std::nullopt, "a packet of " + std::to_string(bytes.size()) + " bytes"};
    const std::uint32_t command = platform::LoadLe32(bytes.data());
    const Layout* layout = LayoutOf(command);
    if (layout == nullptr)
        return {std::nullopt, "an unknown command " + std::to_string(command)};
    const std::optional<std::size_t> length = PacketLength(bytes);
    if (!length || *length != bytes.size()) {
        return {std::nullopt, std::string(layout->name) + " of " +
                                  std::to_string(platform::LoadLe32(bytes.data() + 4)) + " bytes"};
    }
    const std::uint8_t* f = bytes.data() + kHeaderBytes;
    const auto word = [f](int i) { return platform::LoadLe32(f + 4 * i); };
    const auto wide = [f](int i) { return LoadLe64(f + 8 * i); };
    switch (layout->command) {
        case Command::kHello:
            return {Hello{word(0), word(1), word(2), word(3)}, {}};
        case Command::kHelloResponse:
            return {HelloResponse{word(0), word(1), word(2), word(3)}, {}};
        case Command::kReadData:
            return {ReadData{word(0), word(1), word(2), false}, {}};
        case Command::kReadData64:
            return {ReadData{wide(0), wide(1), wide(2), true}, {}};
        case Command::kEndOfImage:
            return {EndOfImage{word(0), word(1)}, {}};
        case Command::kDone:
            return {Done{}, {}};
        case Command::kDoneResponse:
            return {DoneResponse{word(0)}, {}};
        case Command::kReset:
            return {Reset{}, {}};
        case Command::kResetResponse:
            return {ResetResponse{}, {}};
        case Command::kMemoryDebug:
            return {MemoryDebug{word(0), word(1), false}, {}};
        case Command::kMemoryDebug64:
            return {MemoryDebug{wide(0), wide(1), true}, {}};
        case Command::kCommandReady:
            return {CommandReady{}, {}};
        case Command::kSwitchMode:
            return {SwitchMode{word(0)}, {}};
        case Command::kExecute:
            return {Execute{word(0)}, {}};
        case Command::kExecuteResponse:
            return {ExecuteResponse{word(0), word(1)}, {}};
        case Command::kExecuteData:
            return {ExecuteData{word(0)}, {}};
        case Command::kResetStateMachine:
            return {ResetStateMachine{}, {}};
    }
    return {std::nullopt, "an unknown command " + std::to_string(command)};
}

std::string NameOf(const Packet& packet) {
    return LayoutOf(CommandOf(packet)).name;
}

}  // namespace fendrel::qcom::sahara
