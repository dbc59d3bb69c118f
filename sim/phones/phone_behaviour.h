// The seam where a simulated phone gets its protocols: a PhoneBehaviour receives every byte the
// host writes to the phone's ttys and answers through the PhoneControl it is handed.
//
// A behaviour that speaks DIAG or DMSS download parses what arrives on its diagnostic tty
// (interface 0 of every mode), writes its replies with Reply, and changes the phone's mode the
// way a real phone re-enumerates: Replug with another identity (a 9025 phone told to switch to
// its downloader comes back as 9008), or Unplug (a reset). Faults are behaviours too: say
// nothing, send a corrupt frame, unplug in the middle of a transfer.
//
// Threads: every call of a behaviour runs on its phone's own thread, one call at a time, and
// may call PhoneControl only during that call. Bytes arrive as the pseudo-terminal delivers
// them: one host write may come split over several calls and several writes in one call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "platform/clock.h"
#include "sim/phones/fake_device_tree.h"

namespace sim {

class PhoneControl {
  public:
    virtual ~PhoneControl() = default;

    // Sends `bytes` to the host on the tty of `interface_number`. What the host is not ready
    // to take is kept and sent as it reads; an unplug drops it, as on a real bus. False when
    // the phone has no tty of that number.
    virtual bool Reply(int interface_number, std::span<const std::uint8_t> bytes) = 0;
    // The same for answers the host does not wait on one by one (acknowledgements within a
    // window): they may be held until the phone has taken every byte the host sent on that tty so
    // far, or until kHeldReplyLimit bytes have gathered, and then go out together, as a device
    // fills a USB packet and sends a short one once its input is idle. Bytes sent with Reply
    // later go out behind them, and a mode change or unplug sends them first.
    virtual bool ReplyWhenIdle(int interface_number, std::span<const std::uint8_t> bytes) = 0;
    static constexpr std::size_t kHeldReplyLimit = 512;
    // Leaves the bus once the current call returns: the ports vanish from the device tree and
    // the host's open descriptors hang up.
    virtual void Unplug() = 0;
    // Leaves the bus and comes back as `identity` once the current call returns: new ttys, a
    // new product id, the same USB place.
    virtual void Replug(const UsbIdentity& identity) = 0;
    // What the phone is plugged as now.
    virtual const UsbIdentity& identity() const = 0;
    // Runs `action` on the phone's thread once `delay` of real time has passed (a reply held
    // back), with the same rights as a behaviour call. Dropped when the phone goes away first.
    virtual void After(platform::Milliseconds delay, std::function<void(PhoneControl&)> action) = 0;
};

class PhoneBehaviour {
  public:
    virtual ~PhoneBehaviour() = default;

    // The phone has just appeared on the bus (its first plug and every re-plug).
    virtual void OnPlugged(PhoneControl& phone) { static_cast<void>(phone); }
    // The host wrote `bytes` to the tty of interface `interface_number`.
    virtual void OnHostBytes(PhoneControl& phone, int interface_number,
                             std::span<const std::uint8_t> bytes) = 0;
};

}  // namespace sim
