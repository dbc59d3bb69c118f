// The text lookup: every user-visible text of the main program is fetched by number here.
//
// A site may override any text with the file "resource/resource.txt" beside the program, one
// entry per line: the number, ";;;", the text (the two characters \n stand for a line break),
// for example 159;;;Port busy\nTry another port. The file is read once, at the first lookup of
// the process; a changed file takes effect at the next start.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "app/text_ids.h"

namespace fendrel {

// The override for `id` if the site's file has one, otherwise the built-in text (empty when
// there is none). Thread-safe, also for two threads that ask first at the same moment.
std::string GetText(int id);

// The entries of an override file, by number. Lines are read as text (CR LF or LF, Ctrl-Z ends
// the file); a line is skipped when it is empty, holds no ";;;", has nothing before it, has no
// text after it, or is longer than kMaxOverrideLineLength characters (a cut-off text would be
// shown wrong, and its tail must not be taken for an entry of its own). A later entry of the
// same number replaces an earlier one. A missing file gives no entries.
inline constexpr std::size_t kMaxOverrideLineLength = 1023;
std::map<std::int32_t, std::string> ReadTextOverrides(const std::string& path);

// The path of the site's override file: the program directory followed by resource/resource.txt.
std::string TextOverridePath();

}  // namespace fendrel
