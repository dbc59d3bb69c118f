#include "qcom/sector_expression.h"

#include <cctype>
#include <limits>

namespace fendrel::qcom {
namespace {

// Deeper nesting than any real file has; it bounds the recursion on hostile input.
constexpr int kMaxNesting = 32;

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

class Parser {
  public:
    Parser(std::string_view text, std::int64_t disk_sectors)
        : text_(text), disk_sectors_(disk_sectors) {}

    std::optional<std::int64_t> Whole() {
        SkipSpaces();
        if (at_ == text_.size())
            return Fail("it is empty");
        std::optional<std::int64_t> value = Sum(0);
        SkipSpaces();
        if (value && at_ != text_.size())
            return Unexpected();
        return value;
    }

    const std::string& why() const { return why_; }

  private:
    std::optional<std::int64_t> Sum(int depth) {
        std::optional<std::int64_t> value = Product(depth);
        while (value) {
            const char op = Peek();
            if (op != '+' && op != '-')
                break;
            ++at_;
            const std::optional<std::int64_t> right = Product(depth);
            if (!right)
                return std::nullopt;
            std::int64_t result;
            if (op == '+' ? __builtin_add_overflow(*value, *right, &result)
                          : __builtin_sub_overflow(*value, *right, &result))
                return Fail("the result is too large");
            value = result;
        }
        return value;
    }

    std::optional<std::int64_t> Product(int depth) {
        std::optional<std::int64_t> value = Factor(depth);
        while (value) {
            const char op = Peek();
            if (op != '*' && op != '/')
                break;
            ++at_;
            const std::optional<std::int64_t> right = Factor(depth);
            if (!right)
                return std::nullopt;
            if (op == '*') {
                std::int64_t result;
                if (__builtin_mul_overflow(*value, *right, &result))
                    return Fail("the result is too large");
                value = result;
            } else {
                if (*right == 0)
                    return Fail("it divides by zero");
                if (*value == kMin && *right == -1)
                    return Fail("the result is too large");
                value = *value / *right;
            }
        }
        return value;
    }

    std::optional<std::int64_t> Factor(int depth) {
        const char next = Peek();
        if (next == '(') {
            if (depth == kMaxNesting)
                return Fail("its parentheses nest too deep");
            ++at_;
            const std::optional<std::int64_t> value = Sum(depth + 1);
            if (!value)
                return std::nullopt;
            if (Peek() != ')')
                return Unexpected();
            ++at_;
            return value;
        }
        if (text_.substr(at_).starts_with(kDiskSectorsName)) {
            at_ += kDiskSectorsName.size();
            return disk_sectors_;
        }
        if (std::isdigit(static_cast<unsigned char>(next)))
            return Number();
        return Unexpected();
    }

    std::optional<std::int64_t> Number() {
        int base = 10;
        if (text_.substr(at_).starts_with("0x") || text_.substr(at_).starts_with("0X")) {
            base = 16;
            at_ += 2;
        }
        const std::size_t first = at_;
        std::int64_t value = 0;
        while (at_ < text_.size()) {
            const int digit = DigitValue(text_[at_], base);
            if (digit < 0)
                break;
            if (value > (kMax - digit) / base)
                return Fail("a number is too large");
            value = value * base + digit;
            ++at_;
        }
        if (at_ == first)
            return Unexpected();
        if (base == 10 && at_ < text_.size() && text_[at_] == '.')
            ++at_;  // the decimal mark
        return value;
    }

    static int DigitValue(char c, int base) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isdigit(u))
            return c - '0';
        if (base == 16 && std::isxdigit(u))
            return std::tolower(u) - 'a' + 10;
        return -1;
    }

    char Peek() {
        SkipSpaces();
        return at_ < text_.size() ? text_[at_] : '\0';
    }

    void SkipSpaces() {
        while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_])))
            ++at_;
    }

    std::nullopt_t Unexpected() {
        if (at_ >= text_.size())
            return Fail("it ends too early");
        return Fail(std::string("'") + text_[at_] + "' at position " + std::to_string(at_ + 1) +
                    " is unexpected");
    }

    std::nullopt_t Fail(std::string why) {
        if (why_.empty())
            why_ = std::move(why);
        return std::nullopt;
    }

    std::string_view text_;
    std::int64_t disk_sectors_;
    std::size_t at_ = 0;
    std::string why_;
};

}  // namespace

std::optional<std::int64_t> EvaluateSectorExpression(std::string_view text,
                                                     std::int64_t disk_sectors,
                                                     std::string* error) {
    Parser parser(text, disk_sectors);
    std::optional<std::int64_t> value = parser.Whole();
    if (!value && error != nullptr)
        *error = "\"" + std::string(text) + "\" is not a number: " + parser.why();
    return value;
}

}  // namespace fendrel::qcom
