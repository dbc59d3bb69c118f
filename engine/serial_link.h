// The worker's serial link: its COM port and the phone's operating mode.
//
// One link per worker, made by a SerialLinkFactory when the worker is constructed. The link owns
// the worker's open port (the port handle of the worker) and binds the worker's two channels to
// it. It reads and writes the worker through CDownloadThread's step interface: the port name (the
// re-discovery replaces it), the channels, the stop event, the status text with its STATUS and
// ERROR posts, the flash type and the clock. Every operation runs on the worker's thread, blocks
// it for at most its fixed attempts and pauses (all through the worker's clock), and ends early
// when the stop event makes the channels' waits fail. A port that vanishes under an operation
// makes it fail (open, offline, switch) or simply end (closing); nothing here throws.
#pragma once

#include <memory>
#include <string>

namespace platform {
class SerialPort;
}

namespace fendrel {

class CDownloadThread;

class SerialLink {
  public:
    enum class OpenReport {
        kWithMessage,     // a failed open leaves string 159 "Can not open port!" in the status
        kWithoutMessage,  // a failed open leaves the status text alone
    };

    // Closes a port that is still open, without resetting the phone.
    virtual ~SerialLink() = default;

    // Opens the worker's port by its current name at `baud_rate`, 8 data bits, no parity, DTR
    // and RTS on, no flow control, reads returning at once with what is buffered; purges it and
    // attaches the download channel, then the diagnostic channel. A port still open from before
    // is closed first (the channels detached). Posts nothing itself.
    virtual bool OpenPort(int baud_rate, OpenReport report) = 0;

    // The three ways a run gives the port up; none reports a failure. The worker zeroes its
    // byte counters after each.
    // ResetPhone on the diagnostic channel, detach both channels, close the port.
    virtual void CloseWithResetPhone() = 0;
    // The same with ResetPhone9006.
    virtual void CloseWithResetPhone9006() = 0;
    // ResetPhone9006 on the diagnostic channel and give the port up (closed if still open); the
    // channels stay attached.
    virtual void Reset9006() = 0;

    // Takes a phone in normal mode offline (string 162 with STATUS; on giving up string 160 with
    // ERROR). True when the phone went offline.
    virtual bool GoOffline() = 0;
    // GoOffline, then the switch to download mode (string 163 with STATUS; on giving up string
    // 161 with ERROR). True when the phone took the switch.
    virtual bool SwitchToDownloadMode() = 0;
    // Finds the phone's diagnostic port after it re-enumerated and leaves its name (or an empty
    // name when there is none) as the worker's port name.
    virtual void RediscoverDiagnosticPort() = 0;

    // Where the phone of the port last opened is plugged ("1-3"), kept after the port closed or
    // vanished; empty before a port was opened. A phone that changes its mode comes back there.
    virtual std::string usb_place() const = 0;
    // For a phone that came back in disk mode (9006) after the switch to download mode: opens
    // its diagnostic port at usb_place(), sends it the disk-mode reset, which brings it back in
    // normal mode, and closes it again. The worker's port name stays as it is. Nothing happens
    // when no disk-mode port is there.
    virtual void ResetDiskModePhone() = 0;

    // The open port, or null while closed. The flash library receives it as its port argument.
    virtual platform::SerialPort* port() = 0;
};

class SerialLinkFactory {
  public:
    virtual ~SerialLinkFactory() = default;
    // A link for `worker`, which outlives it. Called from the worker's constructor: the link may
    // keep the reference but must not call the worker before the constructor has returned.
    virtual std::unique_ptr<SerialLink> Create(CDownloadThread& worker) = 0;
};

}  // namespace fendrel
