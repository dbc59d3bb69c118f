// Fuzzes the NV backup checker on files of any content: it must give a verdict without a crash,
// and a file it finds intact must stay intact when its CR LF line ends become LF.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "nv/backup_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const fendrel::BackupCheck check = fendrel::CheckBackupFile(bytes);
    // A CR just before a CR LF would join the LF once that pair is rewritten.
    if (check.verdict != fendrel::BackupCheck::Verdict::kIntact ||
        bytes.find("\r\r\n") != std::string::npos)
        return 0;
    std::string lf = bytes;
    for (std::size_t at = 0; (at = lf.find("\r\n", at)) != std::string::npos; ++at)
        lf.erase(at, 1);
    const fendrel::BackupCheck again = fendrel::CheckBackupFile(lf);
    if (again.verdict != fendrel::BackupCheck::Verdict::kIntact ||
        again.body_lines != check.body_lines || again.save_time != check.save_time)
        std::abort();
    return 0;
}
