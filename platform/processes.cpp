// What child processes do alike on every system: handing one over to another object.
#include "platform/processes.h"

#include <utility>

namespace platform {

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : running_(std::exchange(other.running_, false)),
      id_(std::exchange(other.id_, 0)),
      process_(std::exchange(other.process_, kNoNativeHandle)),
      output_(std::exchange(other.output_, kNoNativeHandle)),
      job_(std::exchange(other.job_, kNoNativeHandle)),
      exit_code_(other.exit_code_),
      own_group_(other.own_group_),
      keep_tail_(other.keep_tail_),
      output_tail_(std::move(other.output_tail_)),
      error_(std::move(other.error_)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        Release();
        running_ = std::exchange(other.running_, false);
        id_ = std::exchange(other.id_, 0);
        process_ = std::exchange(other.process_, kNoNativeHandle);
        output_ = std::exchange(other.output_, kNoNativeHandle);
        job_ = std::exchange(other.job_, kNoNativeHandle);
        exit_code_ = other.exit_code_;
        own_group_ = other.own_group_;
        keep_tail_ = other.keep_tail_;
        output_tail_ = std::move(other.output_tail_);
        error_ = std::move(other.error_);
    }
    return *this;
}

}  // namespace platform
