// The wildcard matcher against a plain dynamic-programming matcher over the
// same folded code points, plus properties every pattern must keep.
#include "fuzzcheck.h"
#include "platform/fs.h"
#include "platform/textfold.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using kormial::platform::wildcardMatch;

namespace {

std::u32string folded(std::string_view s)
{
    std::u32string out;
    std::size_t pos = 0;
    while (pos < s.size()) {
        out.push_back(kormial::platform::foldCase(kormial::platform::nextCodePoint(s, pos)));
    }
    return out;
}

// m[i][j]: the first i pattern characters match the first j name characters.
bool referenceMatch(const std::u32string& p, const std::u32string& n)
{
    std::vector<char> prev(n.size() + 1, 0);
    std::vector<char> cur(n.size() + 1, 0);
    prev[0] = 1;
    for (std::size_t i = 1; i <= p.size(); ++i) {
        const char32_t c = p[i - 1];
        cur[0] = static_cast<char>(prev[0] && c == U'*');
        for (std::size_t j = 1; j <= n.size(); ++j) {
            if (c == U'*') {
                cur[j] = static_cast<char>(prev[j] || cur[j - 1]);
            } else {
                cur[j] = static_cast<char>(prev[j - 1] && (c == U'?' || c == n[j - 1]));
            }
        }
        prev.swap(cur);
    }
    return prev[n.size()] != 0;
}

bool reference(std::string_view pattern, std::string_view name)
{
    const std::u32string p = folded(pattern);
    const std::u32string n = folded(name);
    if (referenceMatch(p, n)) {
        return true;
    }
    // "x.*" also matches what "x" matches
    return p.size() >= 2 && p[p.size() - 2] == U'.' && p.back() == U'*' &&
           referenceMatch(p.substr(0, p.size() - 2), n);
}

std::string upperAscii(std::string s)
{
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 32);
        }
    }
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 1024) {
        return 0;  // the reference is quadratic; long inputs add nothing
    }
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    const auto nul = in.find('\0');
    const std::string pattern(in.substr(0, nul));
    const std::string name(nul == std::string_view::npos ? std::string_view() : in.substr(nul + 1));

    const bool got = wildcardMatch(pattern, name);
    FUZZ_CHECK(got == reference(pattern, name));

    // every name matches "*" and "*.*"; every text matches itself as a pattern
    FUZZ_CHECK(wildcardMatch("*", name));
    FUZZ_CHECK(wildcardMatch("*.*", name));
    FUZZ_CHECK(wildcardMatch(name, name));
    FUZZ_CHECK(wildcardMatch(pattern, pattern));
    // letter case does not count
    FUZZ_CHECK(wildcardMatch(upperAscii(pattern), name) == got);
    FUZZ_CHECK(wildcardMatch(pattern, upperAscii(name)) == got);
    // a star on either side widens a match (one not made by the ".*" rule)
    if (referenceMatch(folded(pattern), folded(name))) {
        FUZZ_CHECK(wildcardMatch(pattern + "*", name + "tail"));
        FUZZ_CHECK(wildcardMatch("*" + pattern, "head" + name));
    }
    // one '?' per character, no more and no fewer
    const std::size_t chars = folded(name).size();
    FUZZ_CHECK(wildcardMatch(std::string(chars, '?'), name));
    FUZZ_CHECK(!wildcardMatch(std::string(chars + 1, '?'), name));
    return 0;
}
