#include "engine/flash_type.h"

namespace fendrel {

bool IsFlashType(std::string_view flash_type, std::string_view name) {
    if (flash_type.size() != name.size())
        return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
        if (upper(flash_type[i]) != upper(name[i]))
            return false;
    }
    return true;
}

}  // namespace fendrel
