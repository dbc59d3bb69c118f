// The settings store on Windows: the system's registry, or the hive files of
// $FENDREL_REGISTRY_DIR. Keys are opened with RegOpenKeyExA and never created but by CreateKey.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/settings_store.h"
#include "platform/system_registry.h"
#include "platform/win32_error.h"

namespace platform {

SettingsStore SettingsStore::FromEnvironment() {
    const char* directory = std::getenv("FENDREL_REGISTRY_DIR");
    if (directory != nullptr && *directory != '\0')
        return SettingsStore(directory);
    return SystemRegistry();
}

namespace system_registry {
namespace {

// The longest value data read: far beyond the station's texts and numbers.
constexpr DWORD kMaxValueBytes = 1024 * 1024;

HKEY RootOf(Hive hive) {
    return hive == Hive::kLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

std::string FullName(Hive hive, std::string_view path) {
    return std::string(HiveName(hive)) + "\\" + std::string(path);
}

bool Fail(std::string* error, std::string text, LSTATUS status) {
    if (error != nullptr)
        *error = std::move(text) + ": " + WindowsErrorText(static_cast<DWORD>(status));
    return false;
}

// An open key, closed when the object goes.
class OpenedKey {
  public:
    OpenedKey(Hive hive, std::string_view path, REGSAM access) {
        const std::string name(path);
        status_ = RegOpenKeyExA(RootOf(hive), name.c_str(), 0, access, &key_);
    }
    ~OpenedKey() {
        if (status_ == ERROR_SUCCESS)
            RegCloseKey(key_);
    }
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;

    bool is_open() const { return status_ == ERROR_SUCCESS; }
    LSTATUS status() const { return status_; }
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
    LSTATUS status_ = ERROR_INVALID_HANDLE;
};

// The value's data as the settings store keeps it: a REG_SZ without its terminating zero.
RegistryValue MakeValue(std::string name, DWORD type, const std::vector<char>& data, DWORD size) {
    std::string bytes(data.data(), size);
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && !bytes.empty() && bytes.back() == '\0')
        bytes.pop_back();
    return RegistryValue{std::move(name), type, std::move(bytes)};
}

}  // namespace

bool KeyExists(Hive hive, std::string_view path, std::string* error) {
    const OpenedKey key(hive, path, KEY_READ);
    if (key.is_open())
        return true;
    if (key.status() == ERROR_FILE_NOT_FOUND) {
        if (error != nullptr)
            *error = FullName(hive, path) + " does not exist";
        return false;
    }
    return Fail(error, "cannot open " + FullName(hive, path), key.status());
}

bool CreateKey(Hive hive, std::string_view path, std::string* error) {
    const std::string name(path);
    HKEY key = nullptr;
    const LSTATUS status = RegCreateKeyExA(RootOf(hive), name.c_str(), 0, nullptr, 0,
                                           KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return Fail(error, "cannot create " + FullName(hive, path), status);
    RegCloseKey(key);
    return true;
}

std::optional<RegistryValue> QueryValue(Hive hive, std::string_view path, std::string_view name,
                                        std::string* error) {
    const OpenedKey key(hive, path, KEY_QUERY_VALUE);
    if (!key.is_open()) {
        Fail(error, FullName(hive, path) + " no longer opens", key.status());
        return std::nullopt;
    }
    const std::string value_name(name);
    DWORD type = 0;
    DWORD size = 0;
    LSTATUS status =
        RegQueryValueExA(key.get(), value_name.c_str(), nullptr, &type, nullptr, &size);
    std::vector<char> data(std::min(size, kMaxValueBytes));
    if (status == ERROR_SUCCESS && size <= kMaxValueBytes) {
        status = RegQueryValueExA(key.get(), value_name.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &size);
    }
    if (status != ERROR_SUCCESS || size > kMaxValueBytes) {
        Fail(error, "value \"" + value_name + "\" of " + FullName(hive, path) + " does not read",
             status == ERROR_SUCCESS ? ERROR_MORE_DATA : status);
        return std::nullopt;
    }
    return MakeValue(value_name, type, data, size);
}

std::optional<RegistryValue> EnumValue(Hive hive, std::string_view path, std::size_t index,
                                       std::string* error) {
    const OpenedKey key(hive, path, KEY_QUERY_VALUE);
    if (!key.is_open()) {
        Fail(error, FullName(hive, path) + " no longer opens", key.status());
        return std::nullopt;
    }
    std::vector<char> name(kMaxValueNameLength + 1);
    std::vector<char> data(kMaxValueBytes);
    DWORD name_length = static_cast<DWORD>(name.size());
    DWORD type = 0;
    DWORD size = kMaxValueBytes;
    const LSTATUS status =
        RegEnumValueA(key.get(), static_cast<DWORD>(index), name.data(), &name_length, nullptr,
                      &type, reinterpret_cast<BYTE*>(data.data()), &size);
    if (status != ERROR_SUCCESS) {
        if (status == ERROR_NO_MORE_ITEMS && error != nullptr)
            *error = FullName(hive, path) + " has no value at index " + std::to_string(index);
        else
            Fail(error, "cannot list the values of " + FullName(hive, path), status);
        return std::nullopt;
    }
    return MakeValue(std::string(name.data(), name_length), type, data, size);
}

bool SetValue(Hive hive, std::string_view path, const RegistryValue& value, std::string* error) {
    const OpenedKey key(hive, path, KEY_SET_VALUE);
    if (!key.is_open())
        return Fail(error, FullName(hive, path) + " no longer opens", key.status());
    std::string data = value.data;
    if (value.type == REG_SZ || value.type == REG_EXPAND_SZ)
        data += '\0';
    const LSTATUS status =
        RegSetValueExA(key.get(), value.name.c_str(), 0, value.type,
                       reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
    if (status != ERROR_SUCCESS) {
        return Fail(error, "cannot set value \"" + value.name + "\" of " + FullName(hive, path),
                    status);
    }
    return true;
}

}  // namespace system_registry
}  // namespace platform
