#include "platform/reg_file.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/ascii.h"

namespace platform {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::uint32_t kRegBinary = 3;

bool IsControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

bool HasControl(std::string_view text) {
    for (const char c : text) {
        if (IsControl(c))
            return true;
    }
    return false;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = AsciiLower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// A number of 1 to `max_digits` hex digits, the whole of `text`.
std::optional<std::uint32_t> ParseHex(std::string_view text, std::size_t max_digits) {
    if (text.empty() || text.size() > max_digits)
        return std::nullopt;
    std::uint32_t number = 0;
    for (const char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0)
            return std::nullopt;
        number = number * 16 + static_cast<std::uint32_t>(digit);
    }
    return number;
}

// The quoted text at the start of `line` (which begins with '"'), unescaped; `line` is left
// after the closing quote.
std::optional<std::string> TakeQuoted(std::string_view& line) {
    std::string text;
    for (std::size_t i = 1; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            line.remove_prefix(i + 1);
            return text;
        }
        if (c == '\\') {
            if (i + 1 == line.size() || (line[i + 1] != '\\' && line[i + 1] != '"'))
                return std::nullopt;
            ++i;
        }
        text += line[i];
    }
    return std::nullopt;
}

std::string Quoted(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '\\' || c == '"')
            quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

// "aa,bb,..." (empty for no bytes) as bytes.
std::optional<std::string> ParseHexBytes(std::string_view list) {
    std::string bytes;
    if (Trim(list).empty())
        return bytes;
    while (true) {
        const std::size_t comma = list.find(',');
        const auto byte = ParseHex(Trim(list.substr(0, comma)), 2);
        if (!byte)
            return std::nullopt;
        bytes += static_cast<char>(*byte);
        if (comma == std::string_view::npos)
            return bytes;
        list.remove_prefix(comma + 1);
    }
}

std::string HexBytes(std::string_view bytes) {
    std::string list;
    char byte[4];
    for (const char c : bytes) {
        std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(c));
        if (!list.empty())
            list += ',';
        list += byte;
    }
    return list;
}

// The value of the data part of a value line (after the '='), or an error text.
std::optional<RegistryValue> ParseData(std::string_view data, std::string* problem) {
    RegistryValue value;
    if (data.starts_with('"')) {
        auto text = TakeQuoted(data);
        if (!text || !Trim(data).empty()) {
            *problem = "a string must be one quoted text with \\\\ and \\\" escaped";
            return std::nullopt;
        }
        value.data = std::move(*text);
        return value;
    }
    if (data.starts_with("dword:")) {
        const auto number = ParseHex(data.substr(6), 8);
        if (!number) {
            *problem = "dword: must be followed by 1 to 8 hex digits";
            return std::nullopt;
        }
        return RegistryValue::Dword({}, *number);
    }
    if (data.starts_with("hex")) {
        data.remove_prefix(3);
        std::optional<std::uint32_t> type = kRegBinary;
        if (data.starts_with('(')) {
            const std::size_t close = data.find(')');
            type = close == std::string_view::npos ? std::nullopt
                                                   : ParseHex(data.substr(1, close - 1), 8);
            data.remove_prefix(close == std::string_view::npos ? data.size() : close + 1);
        }
        auto bytes = data.starts_with(':') ? ParseHexBytes(data.substr(1)) : std::nullopt;
        if (!type || !bytes) {
            *problem = "hex data must read hex: or hex(type): and comma-separated bytes";
            return std::nullopt;
        }
        value.type = *type;
        value.data = std::move(*bytes);
        if (value.type == kRegSz && !value.data.empty() && value.data.back() == '\0')
            value.data.pop_back();
        return value;
    }
    *problem = data == "-" ? "a deletion is not part of a hive"
                           : "the data is neither a string, dword: nor hex";
    return std::nullopt;
}

std::string FormatData(const RegistryValue& value) {
    if (value.type == kRegSz) {
        if (HasControl(value.data))
            return "hex(1):" + HexBytes(value.data + '\0');
        return Quoted(value.data);
    }
    if (const auto number = value.dword()) {
        char text[16];
        std::snprintf(text, sizeof text, "dword:%08x", *number);
        return text;
    }
    if (value.type == kRegBinary)
        return "hex:" + HexBytes(value.data);
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
    return prefix + HexBytes(value.data);
}

// The text of `text` split at LF, a CR before the LF dropped.
std::vector<std::string_view> PhysicalLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        lines.push_back(line);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return lines;
}

// Gives `existing` the type and data of `value`, a value of the same name. The name keeps the
// case it was created with, as in the registry.
void Overwrite(RegistryValue& existing, RegistryValue&& value) {
    existing.type = value.type;
    existing.data = std::move(value.data);
}

// The most values of one key that the parser searches one after the other for a name read
// again; beyond them it keeps an index, so that a key of many values reads in linear time.
constexpr std::size_t kValuesSearchedInTurn = 16;

class Parser {
  public:
    Parser(std::string_view text, std::string_view root)
        : lines_(PhysicalLines(text)), root_(root) {}

    std::optional<RegistryHive> Parse(std::string* error) {
        if (lines_.empty() || Trim(lines_[0]) != kHeader)
            return Fail(1, "the file does not begin with \"" + std::string(kHeader) + "\"", error);
        for (std::size_t i = 1; i < lines_.size(); ++i) {
            const std::size_t number = i + 1;
            std::string line(Trim(lines_[i]));
            if (line.empty() || line.starts_with(';'))
                continue;
            // A hex list may go on over lines that end in a backslash.
            while (line.ends_with('\\') && line.find("=hex") != std::string::npos &&
                   i + 1 < lines_.size()) {
                line.pop_back();
                line += Trim(lines_[++i]);
            }
            std::string problem;
            if (line.starts_with('['))
                problem = Section(line);
            else if (line.starts_with('"') || line.starts_with('@'))
                problem = Value(line);
            else
                problem = "neither a [key] nor a value";
            if (!problem.empty())
                return Fail(number, problem, error);
        }
        return std::move(hive_);
    }

  private:
    std::string Section(std::string_view line) {
        const std::size_t close = line.rfind(']');
        if (close == std::string_view::npos || !Trim(line.substr(close + 1)).empty())
            return "a key line must end in ']'";
        const std::string_view name = line.substr(1, close - 1);
        if (name.starts_with('-'))
            return "a deletion is not part of a hive";
        if (name.size() <= root_.size() ||
            !EqualsIgnoringAsciiCase(name.substr(0, root_.size()), root_) ||
            name[root_.size()] != '\\')
            return "the key does not lie below " + std::string(root_);
        const std::string_view path = name.substr(root_.size() + 1);
        if (std::string problem = KeyPathProblem(path); !problem.empty())
            return problem;
        key_path_ = std::string(path);
        key_place_ = static_cast<std::size_t>(&hive_.AddKey(key_path_) - hive_.keys().data());
        return {};
    }

    std::string Value(std::string_view line) {
        if (key_path_.empty())
            return "a value before the first [key]";
        std::string name;
        if (line.starts_with('@')) {
            line.remove_prefix(1);
        } else {
            auto quoted = TakeQuoted(line);
            if (!quoted)
                return "the value name is not a valid quoted name";
            if (std::string problem = ValueNameProblem(*quoted); !problem.empty())
                return problem;
            name = std::move(*quoted);
        }
        line = Trim(line);
        if (!line.starts_with('='))
            return "the value name is not followed by '='";
        std::string problem;
        auto value = ParseData(Trim(line.substr(1)), &problem);
        if (!value)
            return problem;
        value->name = std::move(name);
        // The key is looked up anew: adding keys may have moved it.
        RegistryKey& key = *hive_.FindKey(key_path_);
        if (key.values.size() < kValuesSearchedInTurn) {
            key.SetValue(std::move(*value));
            return {};
        }
        // A key of many values: its values are found through an index from here on.
        ValuePlaces& places = value_places_[key_place_];
        for (std::size_t i = places.size(); i < kValuesSearchedInTurn; ++i)
            places.emplace(key.values[i].name, i);
        const auto [place, added] = places.try_emplace(value->name, key.values.size());
        if (added)
            key.values.push_back(std::move(*value));
        else
            Overwrite(key.values[place->second], std::move(*value));
        return {};
    }

    std::optional<RegistryHive> Fail(std::size_t line, const std::string& problem,
                                     std::string* error) {
        if (error != nullptr)
            *error = "line " + std::to_string(line) + ": " + problem;
        return std::nullopt;
    }

    std::vector<std::string_view> lines_;
    std::string_view root_;
    RegistryHive hive_;
    std::string key_path_;
    std::size_t key_place_ = 0;  // of key_path_ among the hive's keys
    // The values of a key that has many, by name, and where each lies among the key's values.
    using ValuePlaces = std::unordered_map<std::string, std::size_t, AsciiCaseInsensitiveHash,
                                           AsciiCaseInsensitiveEqual>;
    std::unordered_map<std::size_t, ValuePlaces> value_places_;  // by key_place_
};

}  // namespace

RegistryValue RegistryValue::Dword(std::string_view name, std::uint32_t number) {
    RegistryValue value{std::string(name), kRegDword, std::string(4, '\0')};
    for (int i = 0; i < 4; ++i)
        value.data[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
    return value;
}

RegistryValue RegistryValue::String(std::string_view name, std::string_view text) {
    return RegistryValue{std::string(name), kRegSz, std::string(text)};
}

std::optional<std::uint32_t> RegistryValue::dword() const {
    if (type != kRegDword || data.size() != 4)
        return std::nullopt;
    std::uint32_t number = 0;
    for (int i = 3; i >= 0; --i)
        number = (number << 8) | static_cast<unsigned char>(data[i]);
    return number;
}

std::optional<std::string> RegistryValue::text() const {
    if (type != kRegSz)
        return std::nullopt;
    return data;
}

const RegistryValue* RegistryKey::FindValue(std::string_view name) const {
    for (const RegistryValue& value : values) {
        if (EqualsIgnoringAsciiCase(value.name, name))
            return &value;
    }
    return nullptr;
}

void RegistryKey::SetValue(RegistryValue value) {
    for (RegistryValue& existing : values) {
        if (EqualsIgnoringAsciiCase(existing.name, value.name)) {
            Overwrite(existing, std::move(value));
            return;
        }
    }
    values.push_back(std::move(value));
}

const RegistryKey* RegistryHive::FindKey(std::string_view path) const {
    const auto found = index_.find(path);
    return found != index_.end() ? &keys_[found->second] : nullptr;
}

RegistryKey* RegistryHive::FindKey(std::string_view path) {
    return const_cast<RegistryKey*>(std::as_const(*this).FindKey(path));
}

RegistryKey& RegistryHive::AddKey(std::string_view path) {
    // The nearest ancestor already there (the key itself, usually its parent); every level after
    // it is added in order, parents first.
    std::size_t end = path.size();
    while (!index_.contains(path.substr(0, end))) {
        const std::size_t parent_end = path.rfind('\\', end - 1);
        if (parent_end == std::string_view::npos) {
            end = 0;
            break;
        }
        end = parent_end;
    }
    while (end < path.size()) {
        end = std::min(path.find('\\', end + 1), path.size());
        keys_.push_back(RegistryKey{std::string(path.substr(0, end)), {}});
        index_.emplace(keys_.back().path, keys_.size() - 1);
    }
    return *FindKey(path);
}

std::string KeyPathProblem(std::string_view path) {
    if (path.empty())
        return "the key path is empty";
    if (HasControl(path))
        return "the key path holds a control character";
    std::size_t depth = 0;
    for (;;) {
        if (++depth > kMaxKeyDepth) {
            return "the key lies more than " + std::to_string(kMaxKeyDepth) +
                   " levels deep, deeper than a registry allows";
        }
        const std::size_t end = path.find('\\');
        const std::size_t length = end == std::string_view::npos ? path.size() : end;
        if (length == 0)
            return "the key path holds an empty name";
        if (length > kMaxKeyNameLength) {
            return "a key name is " + std::to_string(length) + " characters long, longer than " +
                   "the " + std::to_string(kMaxKeyNameLength) + " a registry allows";
        }
        if (end == std::string_view::npos)
            return {};
        path.remove_prefix(end + 1);
    }
}

std::string ValueNameProblem(std::string_view name) {
    if (name.size() > kMaxValueNameLength) {
        return "the value name is " + std::to_string(name.size()) +
               " characters long, longer than the " + std::to_string(kMaxValueNameLength) +
               " a registry allows";
    }
    if (HasControl(name))
        return "the value name holds a control character";
    return {};
}

std::optional<RegistryHive> ParseRegFile(std::string_view text, std::string_view root,
                                         std::string* error) {
    if (text.starts_with(kByteOrderMark))
        text.remove_prefix(kByteOrderMark.size());
    return Parser(text, root).Parse(error);
}

std::string FormatRegFile(const RegistryHive& hive, std::string_view root) {
    std::string text(kHeader);
    text += kLineEnd;
    text += kLineEnd;
    for (const RegistryKey& key : hive.keys()) {
        text += '[';
        text += root;
        text += '\\';
        text += key.path;
        text += ']';
        text += kLineEnd;
        for (const RegistryValue& value : key.values) {
            text += value.name.empty() ? "@" : Quoted(value.name);
            text += '=';
            text += FormatData(value);
            text += kLineEnd;
        }
        text += kLineEnd;
    }
    return text;
}

}  // namespace platform
