#include "qcom/firehose_protocol.h"

#include <algorithm>

#include "qcom/xml_document.h"

namespace fendrel::qcom::firehose {
namespace {

constexpr std::string_view kDeclaration = "<?xml";
constexpr std::string_view kDataOpen = "<data";
constexpr std::string_view kDataClose = "</data>";
constexpr std::string_view kDataElement = "data";

std::string_view Text(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Where a document may begin: its declaration, or <data> when it has none.
std::size_t DocumentStart(std::string_view text) {
    return std::min(text.find(kDeclaration), text.find(kDataOpen));
}

// How many bytes at the end of `text` might be the beginning of a document's first tag.
std::size_t PossibleStart(std::string_view text) {
    for (std::size_t keep = std::min(text.size(), kDeclaration.size() - 1); keep > 0; --keep) {
        const std::string_view tail = text.substr(text.size() - keep);
        if (kDeclaration.starts_with(tail) || kDataOpen.starts_with(tail))
            return keep;
    }
    return 0;
}

void AppendEscaped(std::string& out, std::string_view value) {
    for (const char c : value) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
}

}  // namespace

const std::string* Element::Attribute(std::string_view wanted) const {
    for (const auto& [key, value] : attributes) {
        if (key == wanted)
            return &value;
    }
    return nullptr;
}

const Element* Document::Find(std::string_view name) const {
    for (const Element& element : elements) {
        if (element.name == name)
            return &element;
    }
    return nullptr;
}

std::string DocumentText(const Element& element) {
    std::string text = "<?xml version=\"1.0\" ?><data><" + element.name;
    for (const auto& [key, value] : element.attributes) {
        text += ' ';
        text += key;
        text += "=\"";
        AppendEscaped(text, value);
        text += '"';
    }
    text += " /></data>";
    return text;
}

Scan ScanDocument(std::span<const std::uint8_t> bytes) {
    const std::string_view text = Text(bytes);
    Scan scan;
    const std::size_t start = DocumentStart(text);
    if (start == std::string_view::npos) {
        scan.consumed = text.size() - PossibleStart(text);
        return scan;
    }
    const std::size_t close = text.find(kDataClose, start);
    if (close == std::string_view::npos) {
        scan.consumed = start;
        if (text.size() - start > kMaxDocumentBytes) {
            scan.kind = Scan::Kind::kMalformed;
            scan.consumed = text.size();
            scan.error =
                "no end of a document within " + std::to_string(kMaxDocumentBytes) + " bytes";
        }
        return scan;
    }
    const std::size_t end = close + kDataClose.size();
    scan.consumed = end;
    if (end - start > kMaxDocumentBytes) {
        scan.kind = Scan::Kind::kMalformed;
        scan.error = "a document longer than " + std::to_string(kMaxDocumentBytes) + " bytes";
        return scan;
    }
    XmlError error;
    std::optional<XmlElement> data = ReadXmlDocument(text.substr(start, end - start), error);
    if (!data || data->name != kDataElement) {
        scan.kind = Scan::Kind::kMalformed;
        scan.error = data ? "a document that is not <data>"
                          : "a document that is not XML (" + error.what + ")";
        return scan;
    }
    scan.kind = Scan::Kind::kDocument;
    for (XmlElement& child : data->children)
        scan.document.elements.push_back({std::move(child.name), std::move(child.attributes)});
    return scan;
}

}  // namespace fendrel::qcom::firehose
