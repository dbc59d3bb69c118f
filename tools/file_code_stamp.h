// Stamping the integrity line into a configuration text.
#pragma once

#include <string>
#include <string_view>

namespace fendrel {

// `bytes` with a matching integrity line. When the last line holding "FILECODE:" is an integrity
// line (it starts with the prefix), its text is replaced; otherwise (no such line, or the last
// one is a key whose value merely contains the prefix) a new line is added after the last line
// of the text. Every other byte stays as it was: line ends, a missing final line end (one is
// added before an appended line), and anything from a Ctrl-Z on. An appended line ends like the
// file's first line.
std::string StampConfigText(std::string_view bytes);

}  // namespace fendrel
