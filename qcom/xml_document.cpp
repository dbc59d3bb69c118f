#include "qcom/xml_document.h"

#include <algorithm>
#include <cstdint>

namespace fendrel::qcom {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A control character that XML lets no document hold.
bool IsForbiddenControl(char c) {
    return static_cast<unsigned char>(c) < 0x20 && !IsBlank(c);
}

bool IsNameStart(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || byte >= 0x80;
}

bool IsNameChar(char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// A character XML lets a document hold (tab, line ends, and the rest from space up, without
// the surrogates and the two non-characters at the end of the first plane).
bool IsXmlCharacter(std::uint32_t code) {
    return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
           (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

// The code point of a character reference's digits ("#65", "#x41"), or none.
std::optional<std::uint32_t> CharacterReference(std::string_view digits) {
    const bool hex = digits.starts_with("#x");
    digits.remove_prefix(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8)
        return std::nullopt;
    std::uint32_t code = 0;
    for (const char c : digits) {
        std::uint32_t digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<std::uint32_t>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            digit = static_cast<std::uint32_t>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        else
            return std::nullopt;
        code = code * (hex ? 16 : 10) + digit;
    }
    return IsXmlCharacter(code) ? std::optional(code) : std::nullopt;
}

class Reader {
  public:
    explicit Reader(std::string_view text) : text_(text) {
        if (text_.starts_with(kByteOrderMark))
            at_ = kByteOrderMark.size();
    }

    std::optional<XmlElement> Document(XmlError& error) {
        std::optional<XmlElement> root;
        if (PassMisc() && !Done()) {
            if (Peek() == '<' && IsNameStart(Next()))
                root = Element();
            else
                Fail("text before the document element");
        }
        if (root && PassMisc() && !Done())
            Fail("more than one document element, or text after it");
        if (!failure_.empty()) {
            error = {line_, failure_};
            return std::nullopt;
        }
        if (!root) {
            error = {line_, "holds no XML element"};
            return std::nullopt;
        }
        return root;
    }

  private:
    bool Done() const { return at_ >= text_.size(); }
    char Peek() const { return Done() ? '\0' : text_[at_]; }
    char Next() const { return at_ + 1 < text_.size() ? text_[at_ + 1] : '\0'; }
    std::string_view Rest() const { return text_.substr(at_); }

    // Moves on by `count` bytes, counting the lines passed.
    void Advance(std::size_t count) {
        const std::size_t end = std::min(at_ + count, text_.size());
        line_ += static_cast<std::size_t>(std::count(text_.begin() + static_cast<long>(at_),
                                                     text_.begin() + static_cast<long>(end), '\n'));
        at_ = end;
    }

    // Records the first failure; an empty `what` is no failure. True while nothing failed.
    bool Fail(std::string_view what) {
        if (!what.empty() && failure_.empty())
            failure_ = what;
        return failure_.empty();
    }

    void PassBlanks() {
        while (!Done() && IsBlank(Peek()))
            Advance(1);
    }

    // Passes over everything up to and including `end`; fails with `unterminated` without it.
    bool PassUntil(std::string_view end, std::string_view unterminated) {
        const std::size_t found = text_.find(end, at_);
        if (found == std::string_view::npos) {
            Advance(text_.size());
            return Fail(unterminated);
        }
        Advance(found + end.size() - at_);
        return true;
    }

    // Passes over what may stand outside and between elements without meaning: blanks, comments,
    // processing instructions (the XML declaration among them). Stops at anything else.
    bool PassMisc() {
        for (;;) {
            PassBlanks();
            const std::string_view rest = Rest();
            if (rest.starts_with("<!--")) {
                if (!PassUntil("-->", "a comment without its end"))
                    return false;
            } else if (rest.starts_with("<?")) {
                if (!PassUntil("?>", "a processing instruction without its end"))
                    return false;
            } else if (rest.starts_with("<!DOCTYPE") || rest.starts_with("<!doctype")) {
                return Fail("a document type declaration, which these files never need");
            } else {
                return true;
            }
        }
    }

    std::string Name() {
        const std::size_t start = at_;
        if (!Done() && IsNameStart(Peek())) {
            while (!Done() && IsNameChar(Peek()))
                Advance(1);
        }
        return std::string(text_.substr(start, at_ - start));
    }

    // Resolves the reference at `&` into `out`.
    bool Reference(std::string& out) {
        const std::size_t end = text_.find(';', at_);
        if (end == std::string_view::npos || end - at_ > 12)
            return Fail("an '&' that starts no reference");
        const std::string_view name = text_.substr(at_ + 1, end - at_ - 1);
        static constexpr std::pair<std::string_view, char> kPredefined[] = {
            {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
        const auto predefined =
            std::find_if(std::begin(kPredefined), std::end(kPredefined),
                         [&](const auto& entry) { return entry.first == name; });
        if (predefined != std::end(kPredefined)) {
            out += predefined->second;
        } else if (name.starts_with('#')) {
            const std::optional<std::uint32_t> code = CharacterReference(name);
            if (!code)
                return Fail("a character reference to no character: &" + std::string(name) + ";");
            AppendUtf8(out, *code);
        } else {
            return Fail("a reference to an unknown entity: &" + std::string(name) + ";");
        }
        Advance(end + 1 - at_);
        return true;
    }

    // A quoted attribute value with its references resolved and each line end or tab read as
    // one blank, as XML reads attribute values.
    std::optional<std::string> Value() {
        const char quote = Peek();
        if (quote != '"' && quote != '\'') {
            Fail("an attribute value without quotes");
            return std::nullopt;
        }
        Advance(1);
        std::string value;
        while (!Done() && Peek() != quote) {
            const char c = Peek();
            if (c == '<' || IsForbiddenControl(c)) {
                Fail(c == '<' ? "a '<' inside an attribute value"
                              : "a control character inside an attribute value");
                return std::nullopt;
            }
            if (c == '&') {
                if (!Reference(value))
                    return std::nullopt;
                continue;
            }
            if (c == '\r' && Next() == '\n')
                Advance(1);
            value += IsBlank(Peek()) ? ' ' : Peek();
            Advance(1);
        }
        if (Done()) {
            Fail("an attribute value without its closing quote");
            return std::nullopt;
        }
        Advance(1);
        return value;
    }

    // The start tag at '<': its name and attributes. `empty` tells whether it ended with "/>".
    bool StartTag(XmlElement& element, bool& empty) {
        Advance(1);
        element.name = Name();
        if (element.name.empty())
            return Fail("a '<' that starts no element");
        for (;;) {
            const bool blank_before = !Done() && IsBlank(Peek());
            PassBlanks();
            if (Rest().starts_with("/>")) {
                Advance(2);
                empty = true;
                return true;
            }
            if (Peek() == '>') {
                Advance(1);
                empty = false;
                return true;
            }
            if (Done())
                return Fail("the tag <" + element.name + " without its end");
            std::string key = Name();
            if (key.empty() || !blank_before)
                return Fail("the tag <" + element.name + " holds something that is no attribute");
            PassBlanks();
            if (Peek() != '=')
                return Fail("the attribute " + key + " of <" + element.name + "> has no value");
            Advance(1);
            PassBlanks();
            std::optional<std::string> value = Value();
            if (!value)
                return false;
            if (element.Attribute(key) != nullptr)
                return Fail("the attribute " + key + " twice in one <" + element.name + ">");
            element.attributes.emplace_back(std::move(key), std::move(*value));
        }
    }

    bool EndTag(const std::string& name) {
        Advance(2);
        const std::string closed = Name();
        PassBlanks();
        if (closed != name || Peek() != '>')
            return Fail("<" + name + "> is closed by </" + closed + ">");
        Advance(1);
        return true;
    }

    // Text between tags carries nothing the station reads; its references must still be sound.
    bool PassText() {
        std::string ignored;
        while (!Done() && Peek() != '<') {
            if (Peek() == '&') {
                if (!Reference(ignored))
                    return false;
            } else if (IsForbiddenControl(Peek())) {
                return Fail("a control character between elements");
            } else {
                Advance(1);
            }
        }
        return true;
    }

    // The element at '<' with everything inside it. Walks the tree with a stack of open elements
    // rather than by recursion, so that no file can exhaust the stack.
    std::optional<XmlElement> Element() {
        XmlElement root;
        bool empty = false;
        if (!StartTag(root, empty))
            return std::nullopt;
        std::vector<XmlElement*> open;
        if (!empty)
            open.push_back(&root);
        while (!open.empty()) {
            if (!PassText())
                return std::nullopt;
            const std::string_view rest = Rest();
            if (rest.empty()) {
                Fail("<" + open.back()->name + "> is never closed");
                return std::nullopt;
            }
            bool passed = true;
            if (rest.starts_with("</")) {
                passed = EndTag(open.back()->name);
                open.pop_back();
            } else if (rest.starts_with("<!--")) {
                passed = PassUntil("-->", "a comment without its end");
            } else if (rest.starts_with("<![CDATA[")) {
                passed = PassUntil("]]>", "a CDATA section without its end");
            } else if (rest.starts_with("<?")) {
                passed = PassUntil("?>", "a processing instruction without its end");
            } else {
                XmlElement& child = open.back()->children.emplace_back();
                passed = StartTag(child, empty);
                if (passed && !empty) {
                    if (open.size() >= kMaxXmlDepth) {
                        Fail("elements nested deeper than " + std::to_string(kMaxXmlDepth));
                        return std::nullopt;
                    }
                    open.push_back(&child);
                }
            }
            if (!passed)
                return std::nullopt;
        }
        return root;
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::size_t line_ = 1;
    std::string failure_;
};

}  // namespace

const std::string* XmlElement::Attribute(std::string_view key) const {
    for (const auto& [name_of, value] : attributes) {
        if (name_of == key)
            return &value;
    }
    return nullptr;
}

std::string_view XmlElement::Value(std::string_view key) const {
    const std::string* value = Attribute(key);
    return value != nullptr ? std::string_view(*value) : std::string_view{};
}

std::optional<XmlElement> ReadXmlDocument(std::string_view text, XmlError& error) {
    return Reader(text).Document(error);
}

}  // namespace fendrel::qcom
