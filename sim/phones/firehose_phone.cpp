#include "sim/phones/firehose_phone.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "qcom/firehose_protocol.h"
#include "qcom/sahara_protocol.h"
#include "qcom/sector_expression.h"
#include "qcom/sha256.h"
#include "sim/phones/disk_image.h"
#include "sim/phones/phone_modes.h"
#include "sim/phones/programmer_image.h"

namespace sim {
namespace {

namespace sahara = fendrel::qcom::sahara;
namespace firehose = fendrel::qcom::firehose;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kSectorBytes = 512;
constexpr std::uint32_t kLoaderVersion = 2;
constexpr std::uint32_t kLoaderLowestVersion = 1;
constexpr std::uint32_t kLargestCommandPacket = 0x400;
constexpr std::uint32_t kLargestPatch = 8;
// A digest or a read goes through the disk in pieces of this size.
constexpr std::uint64_t kDiskPiece = 1 << 20;
constexpr std::string_view kEmmc = "emmc";

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

bool OnlySpaces(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](std::uint8_t byte) { return std::isspace(byte) != 0; });
}

// Sectors of the disk a command names.
struct Range {
    std::uint64_t first = 0;
    std::uint64_t count = 0;
};

class FirehosePhone final : public DownloadSpeaker {
  public:
    explicit FirehosePhone(FamilySetup setup) : setup_(std::move(setup)) {}
    ~FirehosePhone() override {
        if (disk_ >= 0)
            close(disk_);
    }

    void OnStarted(PhoneControl& phone) override {
        stage_ = Stage::kHello;
        pending_.clear();
        configured_ = false;
        raw_left_ = 0;
        SayHello(phone);
    }

    void OnHostBytes(PhoneControl& phone, std::span<const std::uint8_t> bytes,
                     PhoneFault fault) override {
        if (fault == PhoneFault::kSilent || stage_ == Stage::kGone)
            return;
        fault_ = fault;
        pending_.insert(pending_.end(), bytes.begin(), bytes.end());
        if (stage_ == Stage::kProgrammer)
            OnFirehose(phone);
        else
            OnSahara(phone);
    }

  private:
    enum class Stage { kHello, kCommandMode, kImage, kDone, kProgrammer, kGone };

    void Send(PhoneControl& phone, const sahara::Packet& packet) {
        phone.Reply(kDiagnosticInterface, sahara::Encode(packet));
    }

    void SayHello(PhoneControl& phone) {
        Send(phone, sahara::Hello{kLoaderVersion, kLoaderLowestVersion, kLargestCommandPacket,
                                  sahara::kImageTransferPending});
    }

    // Waiting for a packet, the loader drops what it cannot take and starts over.
    void StartOver(PhoneControl& phone) {
        pending_.clear();
        stage_ = Stage::kHello;
        SayHello(phone);
    }

    void OnSahara(PhoneControl& phone) {
        while (stage_ != Stage::kProgrammer && stage_ != Stage::kGone) {
            if (stage_ == Stage::kImage) {
                if (pending_.size() < request_.length)
                    return;
                const Bytes piece(pending_.begin(),
                                  pending_.begin() + static_cast<std::ptrdiff_t>(request_.length));
                pending_.erase(pending_.begin(),
                               pending_.begin() + static_cast<std::ptrdiff_t>(request_.length));
                Ask(phone, image_.Received(piece));
                continue;
            }
            if (pending_.size() < sahara::kHeaderBytes)
                return;
            const std::optional<std::size_t> length =
                sahara::PacketLength(std::span(pending_).first(sahara::kHeaderBytes));
            if (!length) {
                StartOver(phone);
                return;
            }
            if (pending_.size() < *length)
                return;
            const sahara::Decoded decoded = sahara::Decode(std::span(pending_).first(*length));
            pending_.erase(pending_.begin(),
                           pending_.begin() + static_cast<std::ptrdiff_t>(*length));
            OnPacket(phone, *decoded.packet);
        }
        if (stage_ == Stage::kProgrammer)
            OnFirehose(phone);
    }

    void OnPacket(PhoneControl& phone, const sahara::Packet& packet) {
        if (std::holds_alternative<sahara::Reset>(packet)) {
            // Queued before the answer, so that it comes before what the host does next.
            phone.Replug(DownloadModeIdentity(phone.identity().serial));
            Send(phone, sahara::ResetResponse{});
            stage_ = Stage::kGone;
            return;
        }
        const auto* answer = std::get_if<sahara::HelloResponse>(&packet);
        if (stage_ == Stage::kHello && answer != nullptr) {
            if (answer->mode == sahara::kCommandMode) {
                stage_ = Stage::kCommandMode;
                Send(phone, sahara::CommandReady{});
                return;
            }
            stage_ = Stage::kImage;
            image_ = ProgrammerImage();
            request_ = {0, 0};
            Ask(phone, image_.pending());
            return;
        }
        if (stage_ == Stage::kCommandMode && std::holds_alternative<sahara::SwitchMode>(packet)) {
            StartOver(phone);
            return;
        }
        if (stage_ == Stage::kDone && std::holds_alternative<sahara::Done>(packet)) {
            Send(phone, sahara::DoneResponse{1});
            StartProgrammer(phone);
            return;
        }
        if (stage_ == Stage::kHello)
            StartOver(phone);
        // Otherwise the loader passes the packet over.
    }

    // Asks for the next piece of the programmer, or ends the image.
    void Ask(PhoneControl& phone, std::optional<ProgrammerImage::Request> next) {
        if (next) {
            request_ = *next;
            Send(phone, sahara::ReadData{sahara::kFirehoseProgrammerImage, next->offset,
                                         next->length, false});
            return;
        }
        std::uint32_t status = sahara::kStatusSuccess;
        if (!image_.accepted())
            status = sahara::kStatusInvalidElfHeader;
        else if (fault_ == PhoneFault::kRefuseProgrammer)
            status = sahara::kStatusImageAuthenticationFailure;
        Send(phone, sahara::EndOfImage{sahara::kFirehoseProgrammerImage, status});
        stage_ = status == sahara::kStatusSuccess ? Stage::kDone : Stage::kHello;
    }

    void StartProgrammer(PhoneControl& phone) {
        stage_ = Stage::kProgrammer;
        std::string error;
        if (!OpenDisk(error)) {
            Log(phone, "ERROR: " + error);
            return;
        }
        Log(phone, "INFO: Simulated Firehose programmer");
        Log(phone, "INFO: eMMC of " + std::to_string(disk_sectors_) + " sectors");
    }

    bool OpenDisk(std::string& error) {
        if (disk_ >= 0)
            return true;
        if (!EnsureDiskImage(setup_.disk_image, setup_.disk_bytes, error))
            return false;
        disk_ = open(setup_.disk_image.c_str(), O_RDWR | O_CLOEXEC);
        struct stat info {};
        if (disk_ < 0 || fstat(disk_, &info) != 0) {
            error = "cannot open the eMMC " + setup_.disk_image;
            return false;
        }
        disk_sectors_ = static_cast<std::uint64_t>(info.st_size) / kSectorBytes;
        return true;
    }

    void Log(PhoneControl& phone, const std::string& text) {
        const std::string document = firehose::DocumentText({"log", {{"value", text}}});
        phone.Reply(
            kDiagnosticInterface,
            std::span(reinterpret_cast<const std::uint8_t*>(document.data()), document.size()));
    }

    void Respond(PhoneControl& phone, bool ack, firehose::Attributes attributes = {}) {
        attributes.insert(attributes.begin(),
                          {"value", std::string(ack ? firehose::kAck : firehose::kNak)});
        const std::string document = firehose::DocumentText({"response", attributes});
        phone.Reply(
            kDiagnosticInterface,
            std::span(reinterpret_cast<const std::uint8_t*>(document.data()), document.size()));
    }

    void Refuse(PhoneControl& phone, const std::string& why, firehose::Attributes attributes = {}) {
        Log(phone, "ERROR: " + why);
        Respond(phone, false, std::move(attributes));
    }

    void OnFirehose(PhoneControl& phone) {
        while (stage_ == Stage::kProgrammer) {
            if (raw_left_ > 0) {
                if (!TakeRawData(phone))
                    return;
                continue;
            }
            const std::size_t start = std::min<std::size_t>(
                pending_.size(),
                std::find(pending_.begin(), pending_.end(), '<') - pending_.begin());
            if (start > 0) {
                const bool junk = !OnlySpaces(std::span(pending_).first(start));
                pending_.erase(pending_.begin(),
                               pending_.begin() + static_cast<std::ptrdiff_t>(start));
                if (junk)
                    Refuse(phone, "XML not formed correctly");
            }
            const firehose::Scan scan = firehose::ScanDocument(pending_);
            pending_.erase(pending_.begin(),
                           pending_.begin() + static_cast<std::ptrdiff_t>(scan.consumed));
            if (scan.kind == firehose::Scan::Kind::kNeedMore)
                return;
            if (scan.kind == firehose::Scan::Kind::kMalformed || scan.document.elements.empty()) {
                Refuse(phone, "XML not formed correctly: " + scan.error);
                continue;
            }
            OnCommand(phone, scan.document.elements.front());
        }
    }

    // Program data: to the disk as it comes. False when more is needed.
    bool TakeRawData(PhoneControl& phone) {
        std::size_t take =
            static_cast<std::size_t>(std::min<std::uint64_t>(raw_left_, pending_.size()));
        const std::uint64_t half_way = raw_total_ / 2;
        const bool leave =
            fault_ == PhoneFault::kUnplugMidProgram && raw_total_ - raw_left_ + take >= half_way;
        if (leave)
            take = static_cast<std::size_t>(half_way - (raw_total_ - raw_left_));
        if (take > 0 && pwrite(disk_, pending_.data(), take, static_cast<off_t>(raw_position_)) !=
                            static_cast<ssize_t>(take)) {
            Refuse(phone, "the eMMC cannot be written");
        }
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(take));
        raw_position_ += take;
        raw_left_ -= take;
        if (leave) {
            stage_ = Stage::kGone;
            phone.Unplug();
            return false;
        }
        if (raw_left_ == 0)
            Respond(phone, true, {{"rawmode", "false"}});
        return raw_left_ == 0;
    }

    // A number attribute, which may be a sector expression. None when missing or invalid.
    std::optional<std::uint64_t> Number(const firehose::Element& command, const char* name) const {
        const std::string* text = command.Attribute(name);
        if (text == nullptr)
            return std::nullopt;
        const std::optional<std::int64_t> value = fendrel::qcom::EvaluateSectorExpression(
            *text, static_cast<std::int64_t>(disk_sectors_));
        if (!value || *value < 0)
            return std::nullopt;
        return static_cast<std::uint64_t>(*value);
    }

    // The sectors a program, read or digest names; none (after refusing) when they are not on
    // the disk.
    std::optional<Range> SectorsOf(PhoneControl& phone, const firehose::Element& command) {
        const auto size = Number(command, "SECTOR_SIZE_IN_BYTES");
        const auto partition = Number(command, "physical_partition_number");
        const auto first = Number(command, "start_sector");
        const auto count = Number(command, "num_partition_sectors");
        if (!size || *size != kSectorBytes) {
            Refuse(phone, "the eMMC has sectors of 512 bytes", {{"rawmode", "false"}});
            return std::nullopt;
        }
        if (!partition || *partition != 0 || !first || !count || *count == 0 ||
            *first > disk_sectors_ || *count > disk_sectors_ - *first) {
            Refuse(phone, "sectors outside physical partition 0", {{"rawmode", "false"}});
            return std::nullopt;
        }
        return Range{*first, *count};
    }

    void OnCommand(PhoneControl& phone, const firehose::Element& command) {
        const std::string& name = command.name;
        if (name == "nop") {
            Respond(phone, true);
        } else if (name == "configure") {
            Configure(phone, command);
        } else if (name == "power") {
            Power(phone, command);
        } else if (!configured_) {
            Refuse(phone, "configure first");
        } else if (name == "getstorageinfo") {
            if (Number(command, "physical_partition_number").value_or(1) != 0) {
                Refuse(phone, "no such physical partition");
                return;
            }
            Log(phone,
                "INFO: {\"storage_info\": {\"total_blocks\":" + std::to_string(disk_sectors_) +
                    ", \"block_size\":512, \"page_size\":512, \"num_physical\":1}}");
            Respond(phone, true);
        } else if (name == "program") {
            Program(phone, command);
        } else if (name == "read") {
            Read(phone, command);
        } else if (name == "getsha256digest") {
            Digest(phone, command);
        } else if (name == "patch") {
            Patch(phone, command);
        } else {
            Refuse(phone, "Unsupported command " + name);
        }
    }

    void Configure(PhoneControl& phone, const firehose::Element& command) {
        const std::string* memory = command.Attribute("MemoryName");
        if (memory == nullptr || Lower(*memory) != kEmmc) {
            Refuse(phone, "Not support configure MemoryName " + (memory ? *memory : ""));
            return;
        }
        const std::uint64_t largest = setup_.largest_piece;
        const std::uint64_t asked =
            Number(command, "MaxPayloadSizeToTargetInBytes").value_or(largest);
        if (asked == 0 || asked > largest) {
            Refuse(phone, "MaxPayloadSizeToTargetInBytes is at most " + std::to_string(largest),
                   {{"MaxPayloadSizeToTargetInBytes", std::to_string(largest)}});
            return;
        }
        configured_ = true;
        Respond(phone, true,
                {{"MinVersionSupported", "1"},
                 {"MemoryName", "eMMC"},
                 {"MaxPayloadSizeFromTargetInBytes", "4096"},
                 {"MaxPayloadSizeToTargetInBytes", std::to_string(asked)},
                 {"MaxPayloadSizeToTargetInBytesSupported", std::to_string(largest)},
                 {"MaxXMLSizeInBytes", "4096"},
                 {"Version", "1"},
                 {"TargetName", "SIM"}});
    }

    void Power(PhoneControl& phone, const firehose::Element& command) {
        const std::string* value = command.Attribute("value");
        if (value == nullptr || (*value != "reset" && *value != "off")) {
            Refuse(phone, "power takes reset or off");
            return;
        }
        // The restart or power-off is queued before the answer, so that it comes before what the
        // host does next.
        if (*value == "reset")
            phone.Replug(NormalModeIdentity(phone.identity().serial));
        else
            phone.Unplug();
        Respond(phone, true);
        stage_ = Stage::kGone;
    }

    void Program(PhoneControl& phone, const firehose::Element& command) {
        const std::optional<Range> range = SectorsOf(phone, command);
        if (!range)
            return;
        if (fault_ == PhoneFault::kNak) {
            Refuse(phone, "Failed to program the eMMC (simulated)", {{"rawmode", "false"}});
            return;
        }
        raw_total_ = raw_left_ = range->count * kSectorBytes;
        raw_position_ = range->first * kSectorBytes;
        Respond(phone, true, {{"rawmode", "true"}});
    }

    // The disk's bytes of `range`, piece by piece, to `take`. False when the disk fails.
    template <typename Take>
    bool ReadDisk(const Range& range, Take take) const {
        Bytes piece;
        for (std::uint64_t done = 0, total = range.count * kSectorBytes; done < total;) {
            piece.resize(static_cast<std::size_t>(std::min(kDiskPiece, total - done)));
            const off_t at = static_cast<off_t>(range.first * kSectorBytes + done);
            if (pread(disk_, piece.data(), piece.size(), at) != static_cast<ssize_t>(piece.size()))
                return false;
            take(piece);
            done += piece.size();
        }
        return true;
    }

    void Read(PhoneControl& phone, const firehose::Element& command) {
        const std::optional<Range> range = SectorsOf(phone, command);
        if (!range)
            return;
        Bytes data;
        if (!ReadDisk(*range, [&](const Bytes& piece) {
                data.insert(data.end(), piece.begin(), piece.end());
            })) {
            Refuse(phone, "the eMMC cannot be read", {{"rawmode", "false"}});
            return;
        }
        Respond(phone, true, {{"rawmode", "true"}});
        phone.Reply(kDiagnosticInterface, data);
        Respond(phone, true, {{"rawmode", "false"}});
    }

    void Digest(PhoneControl& phone, const firehose::Element& command) {
        if (fault_ == PhoneFault::kNoDigest) {
            Refuse(phone, "Unsupported command getsha256digest");
            return;
        }
        const std::optional<Range> range = SectorsOf(phone, command);
        if (!range)
            return;
        fendrel::qcom::Sha256 sha;
        if (!ReadDisk(*range, [&](const Bytes& piece) { sha.Update(piece); })) {
            Refuse(phone, "the eMMC cannot be read");
            return;
        }
        fendrel::qcom::Sha256Digest digest = sha.Finish();
        if (fault_ == PhoneFault::kBadDigest)
            digest[0] ^= 0xFF;
        Log(phone, "Digest 0x" + fendrel::qcom::HexDigest(digest));
        Respond(phone, true);
    }

    void Patch(PhoneControl& phone, const firehose::Element& command) {
        const std::string* file = command.Attribute("filename");
        const std::string* value_text = command.Attribute("value");
        const auto sector_size = Number(command, "SECTOR_SIZE_IN_BYTES");
        const auto partition = Number(command, "physical_partition_number");
        const auto sector = Number(command, "start_sector");
        const auto offset = Number(command, "byte_offset");
        const auto size = Number(command, "size_in_bytes");
        const auto value = Number(command, "value");
        if (file == nullptr || *file != "DISK" || value_text == nullptr) {
            Refuse(phone, "only DISK patches with a value");
            return;
        }
        if (!value) {
            Refuse(phone, "patch values must be numbers or NUM_DISK_SECTORS expressions");
            return;
        }
        if (!sector_size || *sector_size != kSectorBytes || !partition || *partition != 0 ||
            !sector || *sector >= disk_sectors_ || !offset || !size || *size == 0 ||
            *size > kLargestPatch || *offset + *size > kSectorBytes) {
            Refuse(phone, "the patch does not lie within a sector of physical partition 0");
            return;
        }
        std::uint8_t bytes[kLargestPatch];
        for (std::uint64_t i = 0; i < *size; ++i)
            bytes[i] = static_cast<std::uint8_t>(*value >> (8 * i));
        const off_t at = static_cast<off_t>(*sector * kSectorBytes + *offset);
        if (pwrite(disk_, bytes, static_cast<std::size_t>(*size), at) !=
            static_cast<ssize_t>(*size)) {
            Refuse(phone, "the eMMC cannot be written");
            return;
        }
        Respond(phone, true);
    }

    const FamilySetup setup_;
    int disk_ = -1;
    std::uint64_t disk_sectors_ = 0;
    Stage stage_ = Stage::kHello;
    PhoneFault fault_ = PhoneFault::kNone;
    Bytes pending_;
    ProgrammerImage image_;
    ProgrammerImage::Request request_;
    bool configured_ = false;
    std::uint64_t raw_total_ = 0;
    std::uint64_t raw_left_ = 0;
    std::uint64_t raw_position_ = 0;
};

}  // namespace

std::unique_ptr<DownloadSpeaker> MakeFirehosePhone(const FamilySetup& setup) {
    return std::make_unique<FirehosePhone>(setup);
}

}  // namespace sim
