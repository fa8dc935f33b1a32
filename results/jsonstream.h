// Reading JSON (RFC 8259) a block at a time: the caller takes the values it
// knows as they come and the rest is read over, never held. Every byte is
// charged to the stretch being read, so a stretch longer than its allowance,
// and with it an input without end, is refused where the reading gets there.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kormial {

// Why a document was refused; `why` ends with the line it was found on.
struct JsonRefusal {
    enum class Kind { Malformed, BeyondLimits, Unreadable } kind;
    std::string why;
};

class JsonStream {
public:
    // Fills up to `len` bytes of `buf`: how many, 0 at the end, -1 when the
    // reading failed.
    using Source = std::function<std::int64_t(char* buf, std::size_t len)>;

    // Values may lie `maxDepth` inside other values; the first stretch may
    // take `firstAllowance` bytes.
    JsonStream(const Source& source, int maxDepth, std::int64_t firstAllowance, const std::string& overFirst);

    // From here, at most `bytes` more bytes; `overLimit` says what a longer
    // stretch is (it must outlive the reading).
    void allow(std::int64_t bytes, const std::string& overLimit);

    // An object; `member(key)` reads the value of a member it knows and
    // returns true, else the value is read over. `depth` counts the values
    // around it.
    void object(int depth, const std::function<bool(const std::string&)>& member);
    // An array; `item()` reads each value.
    void array(int depth, const std::function<void()>& item);
    void skipValue(int depth);
    // Values named by `key` for the messages.
    bool boolean(std::string_view key);
    void text(std::string& out, std::string_view key);
    template <typename T>
    void wholeNumber(T& out, std::string_view key)
    {
        blank();
        number();
        const char* end = number_.data() + number_.size();
        const auto [ptr, ec] = std::from_chars(number_.data(), end, out);
        if (ec != std::errc() || ptr != end) {
            fail("\"" + std::string(key) + "\" is not a whole number in range");
        }
    }
    // Blank, then the end of the input.
    void end();

    [[noreturn]] void fail(const std::string& why) const;
    [[noreturn]] void beyond(const std::string& why) const;
    void blank();

private:
    int peek();
    char take();
    bool fill();
    bool eat(char c);
    void expect(char c, std::string_view what);
    void nest(int depth);
    void word(std::string_view w);
    bool digits();
    void number();
    char32_t hex4();
    char32_t escape();
    void stringRest(std::string* out);
    std::string where() const { return " (line " + std::to_string(line_) + ")"; }

    const Source& source_;
    const int maxDepth_;
    std::vector<char> block_;
    std::size_t at_ = 0;
    std::size_t end_ = 0;
    bool ended_ = false;
    std::int64_t used_ = 0;
    std::int64_t limit_ = 0;
    const std::string* overLimit_ = nullptr;
    std::int64_t line_ = 1;
    std::string number_;  // the literal of the last number
};

}  // namespace kormial
