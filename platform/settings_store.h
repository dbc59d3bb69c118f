// The settings store: the stand-in for the registry's HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER.
//
// Each hive is one file in the store's folder, HKEY_LOCAL_MACHINE.reg and HKEY_CURRENT_USER.reg,
// in the .reg export format (platform/reg_file.h), so a technician can read and edit it with any
// text editor. There is no cache: every call reads the file, and every change is made under an
// exclusive lock on the hive (a lock file beside it) as read, change, write to a temporary file,
// flush, rename. Two processes (or threads) changing the same hive therefore never lose or tear
// each other's writes, and a crash leaves the old file or the new one, never a mix.
//
// On Windows the store is the system's registry itself (SettingsStore::SystemRegistry()), unless
// $FENDREL_REGISTRY_DIR names a folder of hive files, as tests and demonstrations do so that they
// never touch the machine's registry. POSIX has no system registry: the store is always a folder.
//
// The product opens keys and never creates them, as on Windows: the installer (fendrel-cli setup)
// and the tests create them with CreateKey. A hive file that does not parse is never
// overwritten: every call on it fails and its error text names the file, the line and the
// fault, so that the caller can report it; the file stays as it is for a person to mend.
//
// Blocking: calls do file I/O, and a change waits for the hive's lock while another process
// holds it (only for the few milliseconds of its own change). Threads: any thread may call; a
// SettingsStore and each SettingsKey are values holding only names, safe to copy, but one
// SettingsKey object is not to be used by two threads at once (it keeps its last error text).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/reg_file.h"

namespace platform {

enum class Hive { kLocalMachine, kCurrentUser };

// "HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER".
std::string_view HiveName(Hive hive);

class SettingsKey;

class SettingsStore {
  public:
    // The store whose hive files lie in `directory` (created when the first key is).
    explicit SettingsStore(std::string directory) : directory_(std::move(directory)) {}

    // The store of this user: the hive files in $FENDREL_REGISTRY_DIR; else on Windows the
    // system's registry, on POSIX those in $XDG_STATE_HOME/fendrel or ~/.local/state/fendrel.
    static SettingsStore FromEnvironment();
    // The system's registry (RegOpenKeyExA and the calls beside it). Only Windows has one: on
    // POSIX every call on this store fails, saying so.
    static SettingsStore SystemRegistry();
    bool is_system_registry() const { return system_registry_; }

    const std::string& directory() const { return directory_; }
    std::string HivePath(Hive hive) const;

    // RegOpenKeyEx: the key at `path` ("SOFTWARE\Fendrel", names compared without case) when it
    // exists. None, with `error` set, when it does not, when `path` is not a key path, or when
    // the hive file cannot be read or does not parse. Creates nothing.
    std::optional<SettingsKey> OpenKey(Hive hive, std::string_view path,
                                       std::string* error = nullptr) const;

    // The installer's call (RegCreateKeyEx): the key and every missing parent exist afterwards.
    // False, with `error` set, when `path` is not a key path or the hive cannot be read, parsed
    // or written.
    bool CreateKey(Hive hive, std::string_view path, std::string* error = nullptr) const;

    // The whole hive as it is on disk; an absent file is an empty hive. For services that keep a
    // table of their own in the store (the COM name arbiter); the system's registry is not read
    // whole, and fails.
    std::optional<RegistryHive> ReadHive(Hive hive, std::string* error = nullptr) const;

    // What a change made of the hive it was given.
    enum class Change { kWrite, kKeep, kFail };
    using ChangeFunction = std::function<Change(RegistryHive& hive, std::string& error)>;

    // Runs `change` on the hive's current contents under the hive's lock and writes the hive when
    // it answers kWrite. True for kWrite (once written) and kKeep. False, with `error` set, when
    // the hive cannot be read, does not parse (it is left untouched), cannot be written, or
    // `change` answers kFail (its error text is passed on, nothing is written).
    bool UpdateHive(Hive hive, const ChangeFunction& change, std::string* error = nullptr) const;

  private:
    std::string directory_;
    bool system_registry_ = false;
};

// An opened key: the stand-in for an HKEY. Every call goes to the hive file, so a key that was
// removed from the file after it was opened makes later calls fail.
class SettingsKey {
  public:
    SettingsKey(SettingsStore store, Hive hive, std::string path)
        : store_(std::move(store)), hive_(hive), path_(std::move(path)) {}

    // The REG_DWORD value `name`; none when it is missing, of another type, or unreadable.
    std::optional<std::uint32_t> QueryDword(std::string_view name);
    // The REG_SZ value `name`; none when it is missing, of another type, or unreadable.
    std::optional<std::string> QueryString(std::string_view name);
    // RegEnumValue: the value at `index` in the key's order; none past the last one.
    std::optional<RegistryValue> EnumValue(std::size_t index);

    // Set the value, replacing one of the same name (whatever its type). False when the name
    // cannot be stored, the key no longer exists, or the hive cannot be read, parsed or written.
    bool SetDword(std::string_view name, std::uint32_t number);
    bool SetString(std::string_view name, std::string_view text);

    // Reads the DWORD (missing or not a DWORD counts as 0), adds 1 (modulo 2^32) and writes it
    // back as REG_DWORD in one locked change, so concurrent increments are never lost. The new
    // number, or none when the change failed.
    std::optional<std::uint32_t> IncrementDword(std::string_view name);

    // Why the last call that failed or found nothing did so.
    const std::string& error() const { return error_; }
    const std::string& path() const { return path_; }
    Hive hive() const { return hive_; }

  private:
    // This key, or the value `name` of it, as it is on disk; none with error_ set.
    std::optional<RegistryKey> ReadKey();
    std::optional<RegistryValue> ReadValue(std::string_view name);
    // One locked change of this key; fails when the key no longer exists.
    bool ChangeKey(const std::function<void(RegistryKey&)>& change);
    bool SetValue(RegistryValue value);
    bool AcceptName(std::string_view name);
    std::string FullName() const;

    SettingsStore store_;
    Hive hive_;
    std::string path_;
    std::string error_;
};

}  // namespace platform
