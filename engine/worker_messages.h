// The registered messages between workers and their pages.
//
// All are posted, never sent, with wParam = the worker's port number; PROGRESS carries the
// percentage in lParam, every other message 0. They carry no text: a page that shows the reason
// reads the worker's status text when STATUS or ERROR arrives. A run's verdict (SUCCESS or ERROR)
// always comes before its END.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/messages.h"

namespace fendrel {

inline constexpr std::string_view kStartMessage = "WM_DOWNLOADTHREAD_START";
inline constexpr std::string_view kStatusMessage = "WM_DOWNLOADTHREAD_STATUS";
inline constexpr std::string_view kProgressMessage = "WM_DOWNLOADTHREAD_PROGRESS";
inline constexpr std::string_view kWaitMessage = "WM_DOWNLOADTHREAD_WAIT";
inline constexpr std::string_view kContinueMessage = "WM_DOWNLOADTHREAD_CONTINUE";
inline constexpr std::string_view kErrorMessage = "WM_DOWNLOADTHREAD_ERROR";
inline constexpr std::string_view kSuccessMessage = "WM_DOWNLOADTHREAD_SUCCESS";
inline constexpr std::string_view kEndMessage = "WM_DOWNLOADTHREAD_END";
// Registered for the pages' message maps; no worker posts these.
inline constexpr std::string_view kFeedbackMessage = "WM_DOWNLOADTHREAD_FEEDBACK";
inline constexpr std::string_view kFoundPhoneMessage = "WM_DETECTTHREAD_FOUNDPHONE";
inline constexpr std::string_view kNoPhoneMessage = "WM_DETECTTHREAD_NOPHONE";
inline constexpr std::string_view kGetEsnMessage = "WM_DETECTTHREAD_GETESN";
inline constexpr std::string_view kGetVersionMessage = "WM_DETECTTHREAD_GETVERSION";
inline constexpr std::string_view kGetTypeMessage = "WM_DETECTTHREAD_GETTYPE";
// Posted by the port list to its page when a row's button is clicked.
inline constexpr std::string_view kListButtonClickMessage = "WM_LISTCTRL_BUTTON_CLICK";

struct WorkerMessageIds {
    platform::MessageId start;
    platform::MessageId status;
    platform::MessageId progress;
    platform::MessageId wait;
    platform::MessageId resume;  // CONTINUE
    platform::MessageId error;
    platform::MessageId success;
    platform::MessageId end;
    platform::MessageId feedback;
    platform::MessageId found_phone;
    platform::MessageId no_phone;
    platform::MessageId get_esn;
    platform::MessageId get_version;
    platform::MessageId get_type;
    platform::MessageId list_button_click;
};

// Registers the fourteen worker messages and the port list's button message on the first call
// and returns their ids. The program calls it at start-up, before any worker exists; workers and
// pages call it again to look the ids up. Thread-safe.
const WorkerMessageIds& WorkerMessages();

// The port number a worker puts in wParam: the decimal number after the first three characters
// of the port name ("COM12" gives 12). Like the C runtime's atoi it stops at the first character
// that is not a digit; a name without digits there (or shorter than four characters) gives 0,
// and a number too large for the field is capped.
std::uintptr_t PortNumberOf(std::string_view port_name);

}  // namespace fendrel
