// Fuzzes the image readers (checksum, trailer word, marker search) with any file content. The
// marker search must agree with a plain search of the whole content.
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/image_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = memfd_create("image", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    if (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size)) {
        close(fd);
        return 0;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    fendrel::CheckImageChecksum(path);
    const fendrel::TrailerRead trailer = fendrel::ReadTrailerWord(path);
    if (trailer.outcome == fendrel::TrailerRead::kWord && size < 12)
        std::abort();

    const bool present =
        memmem(data, size, fendrel::kImageMarker.data(), fendrel::kImageMarker.size()) != nullptr;
    const fendrel::MarkerResult marker = fendrel::SearchImageMarker(path);
    if (marker != (present ? fendrel::kMarkerFound : fendrel::kMarkerNotFound))
        std::abort();
    close(fd);
    return 0;
}
