// Option values of fendrel-fastboot-sim: numbers, and faults written KIND[=VALUE]@COMMAND.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sim/fastboot/fastboot_device.h"

namespace fastboot_sim {

// A decimal number, or a hexadecimal one after "0x".
bool ParseUnsignedOption(std::string_view text, std::uint32_t* value);

// fail@flash:boot, fail=TEXT@..., info=N@..., data=SIZE@download, short-reply@...,
// silence@..., silence=MS@..., delay=MS@..., drop=BYTES@download. False with `error` set.
bool ParseFaultOption(const std::string& text, Fault* fault, std::string* error);

extern const char kFaultHelp[];

}  // namespace fastboot_sim
