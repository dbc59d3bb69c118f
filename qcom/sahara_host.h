// The host's side of Sahara (sahara_protocol.h): uploading a programmer to a phone in download
// mode.
//
// A phone sends its HELLO when it comes up, which is usually before the station has opened the
// port and emptied it, so the host never sees it. The host waits kHelloWait for a HELLO and, when
// none comes, answers the one it missed: an unsolicited HELLO_RESP for an image transfer, which a
// phone waiting for the answer to its HELLO takes as such. The wait only lets a HELLO already on
// its way arrive, so it is short: a HELLO that comes after the blind answer is either one that
// crossed it (the phone takes the blind answer and asks for the programmer within
// kLateHelloWindow) or a phone that started over (it says nothing more), and only the second is
// answered, as a second HELLO_RESP would reach the first phone as programmer bytes. Bytes that
// begin with '<' are a Firehose programmer's XML: the programmer runs already (a run stopped after
// its upload, or a phone not reset since), and Upload says so without sending anything more.
//
// A HELLO that offers command mode is answered in command mode, and the phone is switched to an
// image transfer at its CMD_READY (it then says HELLO again). A HELLO for a memory dump is refused.
// READ_DATA and READ_DATA64 are answered from the programmer image; a range outside it, or an
// image other than the first one asked for, is an error. END_OF_IMAGE_TX with status 0 is
// answered with DONE, and DONE_RESP ends the upload (also when it says images are still pending:
// some boot ROMs say so and then start the programmer). A status other than 0 is the phone
// refusing the programmer.
//
// Every wait is bounded (kPacketTimeout for a packet, kWriteTimeout for an answer to go out) and
// watches the stop event; a malformed or unexpected packet ends the upload as a protocol error.
// A stop must not leave the loader waiting for image bytes, or it would take whatever comes next
// for them: an answer the stop cut short is finished, and the loader's further requests are
// answered until it has the image and is told DONE (within kStopBudget; a programmer is small),
// so that the programmer runs and the next run goes on with Firehose.
//
// Threads: the worker's. Blocking: up to the time-outs above per packet.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "platform/clock.h"
#include "qcom/byte_link.h"
#include "qcom/sahara_protocol.h"

namespace fendrel::qcom {

enum class SaharaResult {
    kUploaded,           // the programmer was taken and runs
    kProgrammerRunning,  // a Firehose programmer answered: nothing was uploaded
    kTimeout,            // the phone fell silent
    kStopped,            // the stop event ended the upload
    kGone,               // the port went away
    kRefused,            // the phone refused the programmer (END_OF_IMAGE_TX status)
    kProtocolError,      // a malformed or unexpected packet
    kIoError,            // the port failed
};

struct SaharaOutcome {
    SaharaResult result = SaharaResult::kIoError;
    std::string error;               // what went wrong, for a failure
    std::uint64_t sent = 0;          // image bytes sent
    std::uint32_t phone_status = 0;  // kRefused: the phone's status code
};

class SaharaHost {
  public:
    static constexpr platform::Milliseconds kHelloWait{5};
    static constexpr platform::Milliseconds kLateHelloWindow{250};
    static constexpr platform::Milliseconds kPacketTimeout{3000};
    static constexpr platform::Milliseconds kWriteTimeout{3000};
    // After a stop: how long the host goes on answering the loader.
    static constexpr platform::Milliseconds kStopBudget{600};

    // Called after each answered READ_DATA: image bytes sent so far (capped at the image's size)
    // and the image's size.
    using Progress = std::function<void(std::uint64_t sent, std::uint64_t total)>;

    // `link` must outlive the host.
    explicit SaharaHost(LinkBuffer& link) : link_(link) {}

    SaharaOutcome Upload(std::span<const std::uint8_t> programmer, const Progress& progress);

  private:
    struct Next {
        LinkStatus status = LinkStatus::kOk;
        bool text = false;  // the bytes begin with '<': a Firehose programmer's XML
        sahara::Decoded packet;
    };
    Next ReadPacket(platform::Milliseconds timeout);
    LinkStatus Send(std::span<const std::uint8_t> bytes);
    // A READ_DATA answered; false with `outcome` set when it cannot be.
    bool Answer(const sahara::ReadData& request, std::span<const std::uint8_t> programmer,
                SaharaOutcome& outcome);
    // After a stop: finish a cut answer and the upload.
    void LeaveClean(std::span<const std::uint8_t> programmer);

    LinkBuffer& link_;
    std::span<const std::uint8_t> unsent_;  // the rest of an answer a stop cut short
    std::uint64_t image_ = 0;
    bool image_known_ = false;
};

}  // namespace fendrel::qcom
