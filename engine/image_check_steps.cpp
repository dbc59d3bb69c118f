// The worker's steps around the image checks: the image-checks step of a run and the boot
// version check at the start of a flash-library download. Every failing check leaves its text
// in the status and posts ERROR.
#include "app/text_lookup.h"
#include "engine/download_thread.h"
#include "engine/flash_type.h"

namespace fendrel {
namespace {

// Trailer words reported in place of a word that cannot be read: an app and a boot image that
// both cannot be read therefore never pass as a match.
constexpr std::uint32_t kUnreadAppTrailerWord = 0;
constexpr std::uint32_t kUnreadBootTrailerWord = 1;

// Boot blocks above this value know their version; 0x10000001 is the one that matches any app.
constexpr std::uint32_t kVersionedBootBlock = 0x10000000;
constexpr std::uint32_t kUniversalBootBlock = 0x10000001;
constexpr unsigned short kBootVersion = 0x100;

}  // namespace

bool CDownloadThread::RunImageChecks() {
    if (IsFlashType(params_.flash_type, kFlashTypeMulti))
        return true;
    if (params_.check_sum != 0 && !CheckAppChecksum())
        return false;
    app_marker_ = SearchImageMarker(params_.app_path);
    boot_marker_ = SearchImageMarker(params_.boot_path);
    const bool mismatch = (app_marker_ == kMarkerFound && boot_marker_ == kMarkerNotFound) ||
                          (app_marker_ == kMarkerNotFound && boot_marker_ == kMarkerFound);
    if (mismatch) {
        ShowError(GetText(text::kImagesNotMatch));
        return false;
    }
    return true;
}

bool CDownloadThread::CheckAppChecksum() {
    switch (CheckImageChecksum(params_.app_path)) {
        case ChecksumResult::kPass:
            return true;
        case ChecksumResult::kNoFile:
            ShowError(GetText(text::kCanNotFindAppFile));
            return false;
        case ChecksumResult::kBroken:
            break;
    }
    ShowError(GetText(text::kDownloadFileBroken));
    return false;
}

std::uint32_t CDownloadThread::AppTrailerWord() {
    if (params_.app_path.empty())
        return kUnreadAppTrailerWord;
    const TrailerRead read = ReadTrailerWord(params_.app_path);
    if (read.outcome == TrailerRead::kNoFile)
        ShowError(GetText(text::kCanNotFindAppFile));
    return read.outcome == TrailerRead::kWord ? read.word : kUnreadAppTrailerWord;
}

std::uint32_t CDownloadThread::BootTrailerWord() {
    if (params_.boot_path.empty())
        return kUnreadBootTrailerWord;
    const TrailerRead read = ReadTrailerWord(params_.boot_path);
    if (read.outcome == TrailerRead::kNoFile)
        ShowError(GetText(text::kCanNotFindBootFile));
    return read.outcome == TrailerRead::kWord ? read.word : kUnreadBootTrailerWord;
}

bool CDownloadThread::CheckBootVersion() {
    const std::uint32_t app_word = AppTrailerWord();
    const std::uint32_t boot_word = BootTrailerWord();
    if (!params_.boot_path.empty() && app_word != boot_word) {
        ShowError(GetText(text::kImagesNotMatch));
        return false;
    }
    BBINFO_S_TYPE info{};
    const bool versioned =
        download_->DLGetBBinfo(info) == DMSS_SUCCESS && info.boot_block > kVersionedBootBlock;
    if (!versioned) {
        if (params_.boot_path.empty()) {
            ShowError(GetText(text::kCanNotFindRamFile));
            return false;
        }
        return true;
    }
    if (download_->DLVerifyVersion(kBootVersion) != DMSS_SUCCESS) {
        ShowError(GetText(text::kBootVerifyVersionFail));
        return false;
    }
    if (info.boot_block != kUniversalBootBlock && info.boot_block != app_word) {
        ShowError(GetText(text::kImagesNotMatch));
        return false;
    }
    return true;
}

}  // namespace fendrel
