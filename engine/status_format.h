// Filling the numbers of a status text into its conversions.
//
// The texts come from the string table or from a site's override file, so they are data, not
// trusted format strings: only the integer conversions (%d %i %u %x %X %o, with flags, width,
// precision and length modifiers) take the given numbers, in order; "%%" is a percent sign; any
// other conversion, and any conversion beyond the numbers given, is kept as written.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace fendrel {

std::string FormatNumbers(std::string_view format, std::initializer_list<unsigned> numbers);

// The same rules for texts that name something ("Backupping NV(%s)..."): the first plain "%s"
// takes `name`; every other conversion is kept as written.
std::string FormatName(std::string_view format, std::string_view name);

}  // namespace fendrel
