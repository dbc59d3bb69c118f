#pragma once

// The XML the station reads: an image set's rawprogram and patch files and the documents a
// Firehose programmer answers with. Both are elements with attributes, text between them carries
// nothing the station uses. The reader is the project's own so that every platform's build reads
// these files byte for byte alike, and it is deliberately small: no document type declarations
// (and so no entity of a file's own that could grow without bound), a bounded nesting depth, and
// every refusal with the line it was found on.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fendrel::qcom {

// Deeper nesting than any image set or programmer writes; a deeper file is refused.
inline constexpr std::size_t kMaxXmlDepth = 64;

using XmlAttributes = std::vector<std::pair<std::string, std::string>>;

struct XmlElement {
    std::string name;
    XmlAttributes attributes;          // in document order, values with references resolved
    std::vector<XmlElement> children;  // child elements in document order

    // The value of the attribute `key`, or null when the element has none of that name.
    const std::string* Attribute(std::string_view key) const;
    // The value of the attribute `key`, or "" when the element has none of that name.
    std::string_view Value(std::string_view key) const;
};

struct XmlError {
    std::size_t line = 0;  // 1 for the first line
    std::string what;
};

// The document element of `text`, or none with `error` saying where and why `text` is not a
// well-formed document.
std::optional<XmlElement> ReadXmlDocument(std::string_view text, XmlError& error);

}  // namespace fendrel::qcom
