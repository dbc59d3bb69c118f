#include "nv/backup_file.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/text_file.h"

namespace fendrel {
namespace {

constexpr std::size_t kDigestChunkSize = 48;
constexpr std::size_t kDigestBlockSize = 64;
constexpr std::string_view kTrailerStart = "ZNVID:";
constexpr std::string_view kSaveTimeMark = ",Save time:";

}  // namespace

std::string FormatBackupLine(const NvItem& item) {
    std::string line = std::to_string(item.id) + " = ";
    for (const std::uint8_t value : item.data) {
        line += std::to_string(value);
        line += ',';
    }
    return line;
}

void BackupDigest::AddLine(std::string_view line) {
    ++lines_;
    for (; !line.empty(); line.remove_prefix(std::min(line.size(), kDigestChunkSize))) {
        const std::string_view chunk = line.substr(0, kDigestChunkSize);
        std::uint8_t block[kDigestBlockSize] = {};
        std::copy(chain_.begin(), chain_.end(), block);
        std::copy(chunk.begin(), chunk.end(), block + chain_.size());
        chain_ = Md5Of(block);
    }
}

std::string BackupDigest::Text() const {
    return lines_ == 0 ? std::string() : FormatDigestText(chain_);
}

std::string FormatDigestText(const Md5Digest& digest) {
    std::string text;
    for (const std::uint8_t byte : digest) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%2x", byte);
        text += hex;
    }
    return text;
}

std::string FormatBackupTrailer(std::string_view digest_text, const platform::LocalDateTime& time) {
    char moment[80];
    std::snprintf(moment, sizeof moment, "%d/%d/%d %d:%d:%d", time.year, time.month, time.day,
                  time.hour, time.minute, time.second);
    return std::string(kTrailerStart) + std::string(digest_text) + std::string(kSaveTimeMark) +
           moment;
}

BackupCheck CheckBackupFile(std::string_view bytes) {
    const std::vector<platform::TextLineSpan> lines = platform::TextModeLines(bytes);
    BackupCheck check;
    if (lines.empty())
        return check;
    const platform::TextLineSpan& last = lines.back();
    const std::string_view trailer = bytes.substr(last.begin, last.text_end - last.begin);
    const std::size_t mark = trailer.find(kSaveTimeMark);
    if (!trailer.starts_with(kTrailerStart) || mark == std::string_view::npos)
        return check;

    BackupDigest digest;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i)
        digest.AddLine(bytes.substr(lines[i].begin, lines[i].text_end - lines[i].begin));
    const std::string_view stated =
        trailer.substr(kTrailerStart.size(), mark - kTrailerStart.size());
    check.verdict =
        stated == digest.Text() ? BackupCheck::Verdict::kIntact : BackupCheck::Verdict::kDamaged;
    check.body_lines = lines.size() - 1;
    check.save_time = std::string(trailer.substr(mark + kSaveTimeMark.size()));
    return check;
}

}  // namespace fendrel
