// Settings hives far larger than a station keeps: loading (parse) and saving (format) a hive of
// 50,000 keys, a hive of one key with 50,000 values, and a whole change of the settings store on
// the 50,000-key hive (read, parse, change, format, write, flush, rename). Target: each well
// under a second. Also: how fast a key deeper than a registry allows is refused.
//
// usage: hive_bench [FOLDER]   (the store's files go there, default the temp folder)
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/bench_support.h"
#include "platform/files.h"
#include "platform/reg_file.h"
#include "platform/settings_store.h"

namespace {

constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE";
constexpr int kEntries = 50'000;
constexpr int kTooDeep = 20'000;
constexpr int kRounds = 3;

std::string FlatKeys() {
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
    for (int i = 0; i < kEntries; ++i) {
        text += "[HKEY_LOCAL_MACHINE\\SYSTEM\\Enum\\USB\\Device " + std::to_string(i) + "]\r\n";
        text += "\"PortName\"=\"COM" + std::to_string(i + 1) + "\"\r\n\r\n";
    }
    return text;
}

std::string ManyValues() {
    std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Fendrel]\r\n";
    for (int i = 0; i < kEntries; ++i)
        text += "\"Value " + std::to_string(i) + "\"=dword:" + std::to_string(i % 10) + "\r\n";
    return text;
}

std::string DeepKey(int levels) {
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE";
    for (int i = 0; i < levels; ++i)
        text += "\\k";
    return text + "]\r\n";
}

// Prints the best of kRounds of parsing and of formatting `text`; false when it does not parse
// as `expect_hive` says.
bool LoadAndSave(const char* what, const std::string& text, bool expect_hive = true) {
    std::optional<platform::RegistryHive> hive;
    std::string error;
    const double parse = fendrel::bench::BestSeconds(
        kRounds, [&] { hive = platform::ParseRegFile(text, kRoot, &error); });
    if (hive.has_value() != expect_hive) {
        std::fprintf(stderr, "%s: %s\n", what, hive ? "parsed" : error.c_str());
        return false;
    }
    if (!hive) {
        std::printf("  %-28s refused in %8.2f ms: %s\n", what, parse * 1e3, error.c_str());
        return true;
    }
    std::string written;
    const double format = fendrel::bench::BestSeconds(
        kRounds, [&] { written = platform::FormatRegFile(*hive, kRoot); });
    std::printf("  %-28s load %8.2f ms   save %8.2f ms   (%zu bytes)\n", what, parse * 1e3,
                format * 1e3, written.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder =
        (argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path()) /
        "fendrel-bench-hive";
    std::printf("best of %d:\n", kRounds);
    const std::string flat = FlatKeys();
    bool ok = LoadAndSave("50,000 keys", flat);
    ok = LoadAndSave("one key with 50,000 values", ManyValues()) && ok;
    ok = LoadAndSave("one key 512 levels deep", DeepKey(512)) && ok;
    ok = LoadAndSave("one key 20,000 levels deep", DeepKey(kTooDeep), false) && ok;

    std::filesystem::create_directories(folder);
    const platform::SettingsStore store(folder.string());
    ok = platform::WriteFileAtomically(store.HivePath(platform::Hive::kLocalMachine), flat) && ok;
    int round = 0;
    std::string error;
    const double change = fendrel::bench::BestSeconds(kRounds, [&] {
        ok = store.CreateKey(platform::Hive::kLocalMachine,
                             "SOFTWARE\\Fendrel\\Round " + std::to_string(++round), &error) &&
             ok;
    });
    std::filesystem::remove_all(folder);
    std::printf("  %-28s %8.2f ms\n", "a change of that store", change * 1e3);
    if (!ok) {
        std::fprintf(stderr, "a hive was not handled as expected %s\n", error.c_str());
        return 1;
    }
    return 0;
}
