// Wide text on POSIX: a strict UTF-8 decoder into 32-bit wchar_t.
#include <cstdint>

#include "platform/wide_text.h"

namespace platform {

static_assert(sizeof(wchar_t) == 4, "wchar_t holds one Unicode code point on POSIX");

std::optional<std::wstring> WideFromNative(std::string_view text) {
    std::wstring wide;
    wide.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<unsigned char>(text[at]);
        std::uint32_t code = 0;
        std::size_t length = 0;
        std::uint32_t lowest = 0;  // below this the sequence is an overlong form
        if (lead < 0x80) {
            code = lead;
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            code = lead & 0x1Fu;
            length = 2;
            lowest = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            code = lead & 0x0Fu;
            length = 3;
            lowest = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            code = lead & 0x07u;
            length = 4;
            lowest = 0x10000;
        } else {
            return std::nullopt;  // a continuation byte, C0/C1, or F5 and above
        }
        if (text.size() - at < length)
            return std::nullopt;
        for (std::size_t i = 1; i < length; ++i) {
            const auto next = static_cast<unsigned char>(text[at + i]);
            if ((next & 0xC0u) != 0x80u)
                return std::nullopt;
            code = (code << 6) | (next & 0x3Fu);
        }
        if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return std::nullopt;
        wide += static_cast<wchar_t>(code);
        at += length;
    }
    return wide;
}

}  // namespace platform
