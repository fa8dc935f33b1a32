// ConvertSizeText against a reference written on the decimal digits, with
// no fixed-width arithmetic to overflow.
#include "fuzzcheck.h"
#include "search/sizetext.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using kormial::ConvertSizeText;
using kormial::SizeBound;

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// [blanks] [sign] digits [. digits] [blanks], at least one digit in all;
// the fraction rounds to the nearest whole number, halves to even.
std::optional<std::int32_t> reference(std::string_view t, bool allowFraction)
{
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!t.empty() && blank(t.front())) {
        t.remove_prefix(1);
    }
    while (!t.empty() && blank(t.back())) {
        t.remove_suffix(1);
    }
    bool negative = false;
    if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    std::string whole;
    while (!t.empty() && isDigit(t.front())) {
        whole += t.front();
        t.remove_prefix(1);
    }
    std::string frac;
    if (!t.empty() && t.front() == '.') {
        if (!allowFraction) {
            return std::nullopt;
        }
        t.remove_prefix(1);
        while (!t.empty() && isDigit(t.front())) {
            frac += t.front();
            t.remove_prefix(1);
        }
    }
    if (!t.empty() || whole.size() + frac.size() == 0) {
        return std::nullopt;
    }
    const auto firstNonZero = whole.find_first_not_of('0');
    whole = firstNonZero == std::string::npos ? std::string() : whole.substr(firstNonZero);
    if (whole.size() > 10) {
        return std::nullopt;  // 10^10 or more
    }
    std::int64_t value = 0;
    for (const char c : whole) {
        value = value * 10 + (c - '0');
    }
    if (!frac.empty()) {
        const int first = frac[0] - '0';
        const bool rest = frac.find_first_not_of('0', 1) != std::string::npos;
        if (first > 5 || (first == 5 && (rest || value % 2 == 1))) {
            ++value;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value < INT32_MIN || value > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto withFraction = ConvertSizeText(text, true);
    const auto whole = ConvertSizeText(text, false);
    FUZZ_CHECK(withFraction == reference(text, true));
    FUZZ_CHECK(whole == reference(text, false));
    // a whole number is a whole number either way
    if (whole) {
        FUZZ_CHECK(withFraction == whole);
    }
    // a converted value survives being written out and read again
    if (withFraction) {
        FUZZ_CHECK(ConvertSizeText(std::to_string(*withFraction), false) == withFraction);
    }
    // only empty means "no bound"
    if (text.empty()) {
        FUZZ_CHECK(SizeBound(text) == -1);
    } else {
        FUZZ_CHECK(SizeBound(text) == withFraction);
    }
    // plain digit strings: the value itself whenever it fits
    bool digitsOnly = !text.empty() && text.size() <= 30;
    for (const char c : text) {
        digitsOnly = digitsOnly && isDigit(c);
    }
    if (digitsOnly) {
        const auto nz = text.find_first_not_of('0');
        const std::string_view sig = nz == std::string_view::npos ? std::string_view("0") : text.substr(nz);
        const bool fits = sig.size() < 10 || (sig.size() == 10 && sig <= "2147483647");
        FUZZ_CHECK(whole.has_value() == fits);
        if (fits) {
            FUZZ_CHECK(std::to_string(*whole) == std::string(sig));
        }
    }
    return 0;
}
