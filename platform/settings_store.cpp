// The keys and values of the settings store: hive files read and changed under their lock, or the
// system's registry.
#include "platform/settings_store.h"

#include <filesystem>
#include <mutex>

#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/system_registry.h"

namespace platform {
namespace {

// The longest hive file read. The station keeps a few keys of its own and one per device it has
// seen; even 50,000 keys take a few megabytes.
constexpr std::size_t kMaxHiveFileSize = 64 * 1024 * 1024;

// Read, add one, write: one process's increments of the system's registry never interleave.
std::mutex g_system_increment;

bool Fail(std::string* error, std::string text) {
    if (error != nullptr)
        *error = std::move(text);
    return false;
}

}  // namespace

std::string_view HiveName(Hive hive) {
    return hive == Hive::kLocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

SettingsStore SettingsStore::SystemRegistry() {
    SettingsStore store("");
    store.system_registry_ = true;
    return store;
}

std::string SettingsStore::HivePath(Hive hive) const {
    return JoinPath(directory_, std::string(HiveName(hive)) + ".reg");
}

std::optional<RegistryHive> SettingsStore::ReadHive(Hive hive, std::string* error) const {
    if (system_registry_) {
        Fail(error, "the system's registry is not read as a hive file");
        return std::nullopt;
    }
    const std::string path = HivePath(hive);
    std::error_code failure;
    if (std::filesystem::status(path, failure).type() == std::filesystem::file_type::not_found)
        return RegistryHive();
    std::string problem;
    const auto text = ReadFileBytes(path, kMaxHiveFileSize, &problem);
    if (!text) {
        Fail(error, "cannot read the hive: " + problem);
        return std::nullopt;
    }
    auto contents = ParseRegFile(*text, HiveName(hive), &problem);
    if (!contents)
        Fail(error, path + ": " + problem + "; the file is not a hive and is left as it is");
    return contents;
}

bool SettingsStore::UpdateHive(Hive hive, const ChangeFunction& change, std::string* error) const {
    if (system_registry_)
        return Fail(error, "the system's registry is not changed as a hive file");
    std::error_code failure;
    std::filesystem::create_directories(directory_, failure);
    if (failure)
        return Fail(error, "cannot create the folder " + directory_ + ": " + failure.message());
    const std::string path = HivePath(hive);
    const FileLock lock(path + ".lock");
    if (!lock.held())
        return Fail(error, lock.error());
    auto contents = ReadHive(hive, error);
    if (!contents)
        return false;
    std::string problem;
    switch (change(*contents, problem)) {
        case Change::kKeep:
            return true;
        case Change::kFail:
            return Fail(error, std::move(problem));
        case Change::kWrite:
            break;
    }
    return WriteFileAtomically(path, FormatRegFile(*contents, HiveName(hive)), error);
}

std::optional<SettingsKey> SettingsStore::OpenKey(Hive hive, std::string_view path,
                                                  std::string* error) const {
    const std::string name = std::string(HiveName(hive)) + "\\" + std::string(path);
    if (const std::string problem = KeyPathProblem(path); !problem.empty()) {
        if (error != nullptr)
            *error = name + " is not a key path: " + problem;
        return std::nullopt;
    }
    if (system_registry_) {
        if (!system_registry::KeyExists(hive, path, error))
            return std::nullopt;
        return SettingsKey(*this, hive, std::string(path));
    }
    const auto contents = ReadHive(hive, error);
    if (!contents)
        return std::nullopt;
    const RegistryKey* key = contents->FindKey(path);
    if (key == nullptr) {
        if (error != nullptr)
            *error = name + " does not exist";
        return std::nullopt;
    }
    return SettingsKey(*this, hive, key->path);
}

bool SettingsStore::CreateKey(Hive hive, std::string_view path, std::string* error) const {
    if (const std::string problem = KeyPathProblem(path); !problem.empty()) {
        if (error != nullptr) {
            *error = std::string(HiveName(hive)) + "\\" + std::string(path) +
                     " is not a key path: " + problem;
        }
        return false;
    }
    if (system_registry_)
        return system_registry::CreateKey(hive, path, error);
    return UpdateHive(
        hive,
        [path](RegistryHive& contents, std::string&) {
            if (contents.FindKey(path) != nullptr)
                return Change::kKeep;
            contents.AddKey(path);
            return Change::kWrite;
        },
        error);
}

std::string SettingsKey::FullName() const {
    return std::string(HiveName(hive_)) + "\\" + path_;
}

std::optional<RegistryKey> SettingsKey::ReadKey() {
    const auto contents = store_.ReadHive(hive_, &error_);
    if (!contents)
        return std::nullopt;
    const RegistryKey* key = contents->FindKey(path_);
    if (key == nullptr) {
        error_ = FullName() + " no longer exists";
        return std::nullopt;
    }
    return *key;
}

std::optional<RegistryValue> SettingsKey::ReadValue(std::string_view name) {
    if (store_.is_system_registry())
        return system_registry::QueryValue(hive_, path_, name, &error_);
    const auto key = ReadKey();
    if (!key)
        return std::nullopt;
    const RegistryValue* value = key->FindValue(name);
    if (value == nullptr) {
        error_ = "value \"" + std::string(name) + "\" of " + FullName() + " does not exist";
        return std::nullopt;
    }
    return *value;
}

std::optional<std::uint32_t> SettingsKey::QueryDword(std::string_view name) {
    const auto value = ReadValue(name);
    if (!value)
        return std::nullopt;
    const auto number = value->dword();
    if (!number)
        error_ = "value \"" + std::string(name) + "\" of " + FullName() + " is not a REG_DWORD";
    return number;
}

std::optional<std::string> SettingsKey::QueryString(std::string_view name) {
    const auto value = ReadValue(name);
    if (!value)
        return std::nullopt;
    auto text = value->text();
    if (!text)
        error_ = "value \"" + std::string(name) + "\" of " + FullName() + " is not a REG_SZ";
    return text;
}

std::optional<RegistryValue> SettingsKey::EnumValue(std::size_t index) {
    if (store_.is_system_registry())
        return system_registry::EnumValue(hive_, path_, index, &error_);
    const auto key = ReadKey();
    if (!key)
        return std::nullopt;
    if (index >= key->values.size()) {
        error_ = FullName() + " has no value at index " + std::to_string(index);
        return std::nullopt;
    }
    return key->values[index];
}

bool SettingsKey::ChangeKey(const std::function<void(RegistryKey&)>& change) {
    const std::string full_name = FullName();
    return store_.UpdateHive(
        hive_,
        [&](RegistryHive& contents, std::string& error) {
            RegistryKey* key = contents.FindKey(path_);
            if (key == nullptr) {
                error = full_name + " no longer exists";
                return SettingsStore::Change::kFail;
            }
            change(*key);
            return SettingsStore::Change::kWrite;
        },
        &error_);
}

bool SettingsKey::AcceptName(std::string_view name) {
    error_ = ValueNameProblem(name);
    return error_.empty();
}

bool SettingsKey::SetValue(RegistryValue value) {
    if (!AcceptName(value.name))
        return false;
    if (store_.is_system_registry())
        return system_registry::SetValue(hive_, path_, value, &error_);
    return ChangeKey([&](RegistryKey& key) { key.SetValue(std::move(value)); });
}

bool SettingsKey::SetDword(std::string_view name, std::uint32_t number) {
    return SetValue(RegistryValue::Dword(name, number));
}

bool SettingsKey::SetString(std::string_view name, std::string_view text) {
    return SetValue(RegistryValue::String(name, text));
}

std::optional<std::uint32_t> SettingsKey::IncrementDword(std::string_view name) {
    if (!AcceptName(name))
        return std::nullopt;
    if (store_.is_system_registry()) {
        const std::lock_guard lock(g_system_increment);
        const auto value = system_registry::QueryValue(hive_, path_, name, &error_);
        const std::uint32_t next = (value ? value->dword().value_or(0) : 0) + 1;
        if (!system_registry::SetValue(hive_, path_, RegistryValue::Dword(name, next), &error_))
            return std::nullopt;
        return next;
    }
    std::uint32_t number = 0;
    const bool changed = ChangeKey([&](RegistryKey& key) {
        const RegistryValue* value = key.FindValue(name);
        number = (value != nullptr ? value->dword().value_or(0) : 0) + 1;
        key.SetValue(RegistryValue::Dword(name, number));
    });
    if (!changed)
        return std::nullopt;
    return number;
}

}  // namespace platform
