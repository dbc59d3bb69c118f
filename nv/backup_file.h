// The NV backup file (".znv"): the items read from a phone, one line each, and a trailer with an
// integrity digest and the time of saving. Backups are exchanged with Windows stations, so every
// line ends in CR LF wherever the file is written.
//
//     42 = 7,255,0,0,...,0,             one line per item, ascending item number, 128 values
//     ZNVID:5e 4...,Save time:2013/4/9 8:5:30
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "nv/md5.h"
#include "nv/nv_item.h"
#include "platform/wall_clock.h"

namespace fendrel {

inline constexpr std::string_view kBackupLineEnd = "\r\n";

// The longest backup file there can be: one line for each of the 65,536 item numbers, each at
// most "65535 = " and 128 values of "255,", and a trailer line shorter than that.
inline constexpr std::size_t kMaxBackupLineLength =
    sizeof "65535 = " - 1 + kNvItemDataSize * (sizeof "255," - 1) + kBackupLineEnd.size();
inline constexpr std::size_t kMaxBackupFileSize = (65536 + 1) * kMaxBackupLineLength;

// The body line of `item`, without its line end: the number, " = ", then every data byte in
// decimal, each followed by a comma.
std::string FormatBackupLine(const NvItem& item);

// The digest chain over the lines of a backup body, fed one line at a time (the text of each
// line without its line end). Each line is cut into chunks of 48 characters, the last one
// possibly shorter; every chunk replaces the digest D by the MD5 of a 64-byte block holding D,
// the chunk and zero bytes. D starts as 16 zero bytes and runs on across lines.
class BackupDigest {
  public:
    void AddLine(std::string_view line);
    // The digest as the trailer writes it: each byte as printf's "%2x" (two lower-case hex
    // digits, a space before a single one), 32 characters; empty when no line was added.
    std::string Text() const;

  private:
    Md5Digest chain_{};
    std::size_t lines_ = 0;
};

// "%2x" of every byte of `digest`, in order.
std::string FormatDigestText(const Md5Digest& digest);

// The trailer line, without its line end: "ZNVID:" digest ",Save time:" then the local time as
// year/month/day hour:minute:second, every number without leading zeros.
std::string FormatBackupTrailer(std::string_view digest_text, const platform::LocalDateTime& time);

// What a backup file's own digest says of it.
struct BackupCheck {
    enum class Verdict {
        kIntact,     // the trailer's digest matches the lines before it
        kDamaged,    // it does not: lines were changed, lost or added
        kNoTrailer,  // the last line is not a trailer (the file was cut short, or is no backup)
    };
    Verdict verdict = Verdict::kNoTrailer;
    std::size_t body_lines = 0;  // lines before the trailer
    std::string save_time;       // the trailer's text after ",Save time:"
};

// Checks the bytes of a backup file: its last line must be the trailer, and the trailer's
// digest the digest of every line before it. Lines are read as in text mode (CR LF or LF).
BackupCheck CheckBackupFile(std::string_view bytes);

}  // namespace fendrel
