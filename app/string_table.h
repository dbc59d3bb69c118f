// The built-in numbered texts of the main program (the resource string table).
#pragma once

#include <string_view>

namespace fendrel {

// The built-in text of number `id`, or an empty text when there is none. Never fails.
std::string_view StringTableText(int id);

}  // namespace fendrel
