#include "app/config_keys.h"

namespace fendrel::config {

std::string NumberedKey(std::string_view format, int number) {
    std::string key(format);
    const std::size_t placeholder = key.find("%d");
    if (placeholder != std::string::npos)
        key.replace(placeholder, 2, std::to_string(number));
    return key;
}

}  // namespace fendrel::config
