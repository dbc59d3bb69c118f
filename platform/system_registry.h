// The system's registry behind SettingsStore::SystemRegistry(): keys opened by path below a hive
// and their values. Only Windows has one; on POSIX every call fails and says so.
//
// Blocking: registry calls only. Any thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/reg_file.h"
#include "platform/settings_store.h"

namespace platform::system_registry {

// Whether the key exists and opens (RegOpenKeyExA); false, with `error` set, when not.
bool KeyExists(Hive hive, std::string_view path, std::string* error);
// RegCreateKeyExA: the key and its missing parents.
bool CreateKey(Hive hive, std::string_view path, std::string* error);
// The value `name` of the key (RegQueryValueExA); none, with `error` set, when it is missing.
std::optional<RegistryValue> QueryValue(Hive hive, std::string_view path, std::string_view name,
                                        std::string* error);
// RegEnumValueA: the value at `index`; none, with `error` set, past the last one.
std::optional<RegistryValue> EnumValue(Hive hive, std::string_view path, std::size_t index,
                                       std::string* error);
// RegSetValueExA on an existing key.
bool SetValue(Hive hive, std::string_view path, const RegistryValue& value, std::string* error);

}  // namespace platform::system_registry
