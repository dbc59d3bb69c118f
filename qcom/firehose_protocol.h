// Firehose: the protocol a programmer speaks once it runs. Each message is an XML document,
//   <?xml version="1.0" ?><data><ELEMENT attribute="value" .../></data>
// the host's holding one command (configure, program, read, getsha256digest, patch, power, ...),
// the phone's any number of <log value="..."/> lines and <response value="ACK|NAK" .../>. A
// command that moves sector data switches the stream to raw mode: its first response says
// rawmode="true", the data follows as plain bytes, and a second response ends the command.
//
// Over a serial port the documents come as one stream, split anywhere and several in one read.
// ScanDocument finds the first whole document at the front of what was received: bytes before
// it that cannot begin one are passed over (the phone's leftovers, a line's noise), and nothing
// after it is touched, so that raw data following a rawmode response stays where it is. A
// document must end with </data> within kMaxDocumentBytes of its start.
//
// Threads: plain functions and values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fendrel::qcom::firehose {

inline constexpr std::size_t kMaxDocumentBytes = 64 * 1024;

using Attributes = std::vector<std::pair<std::string, std::string>>;

struct Element {
    std::string name;
    Attributes attributes;  // in document order

    // The value of attribute `name`, or null.
    const std::string* Attribute(std::string_view name) const;
    bool operator==(const Element&) const = default;
};

// The elements inside <data>, in document order.
struct Document {
    std::vector<Element> elements;

    // The first element of that name, or null.
    const Element* Find(std::string_view name) const;
};

// The text of a document holding the one element (attribute values escaped as XML needs).
std::string DocumentText(const Element& element);

struct Scan {
    enum class Kind {
        kNeedMore,   // no whole document yet
        kDocument,   // `document` was read
        kMalformed,  // a document that cannot be read, or none within the limit: `error` says
    };
    Kind kind = Kind::kNeedMore;
    // Bytes at the front of the stream that are done with: passed-over bytes and the document.
    std::size_t consumed = 0;
    Document document;
    std::string error;
};

Scan ScanDocument(std::span<const std::uint8_t> bytes);

// A response's ACK or NAK.
inline constexpr std::string_view kAck = "ACK";
inline constexpr std::string_view kNak = "NAK";

}  // namespace fendrel::qcom::firehose
