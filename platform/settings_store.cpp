// The keys and values of the settings store, on top of the hive access of its backend.
#include "platform/settings_store.h"

namespace platform {

std::string_view HiveName(Hive hive) {
    return hive == Hive::kLocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

std::optional<SettingsKey> SettingsStore::OpenKey(Hive hive, std::string_view path,
                                                  std::string* error) const {
    const std::string name = std::string(HiveName(hive)) + "\\" + std::string(path);
    if (const std::string problem = KeyPathProblem(path); !problem.empty()) {
        if (error != nullptr)
            *error = name + " is not a key path: " + problem;
        return std::nullopt;
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
