// FuzzyMatch: a share of samples between 0 and 1, 1 for equal texts, and the
// same value as a straightforward count of the sampled segments.
#include "catalogue/compare.h"
#include "fuzzcheck.h"

#include <cfenv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

using kormial::FuzzyMatch;

namespace {

// Counts equal samples: n = min(len1, 100) segments of round(len1 / n)
// bytes (halves to even), starting at s, 2s, ... counted from 1.
double referenceRatio(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b)
{
    if (a.empty()) {
        return 0.0;
    }
    const std::size_t n = a.size() < 100 ? a.size() : 100;
    std::fesetround(FE_TONEAREST);
    const auto s = static_cast<std::size_t>(std::nearbyint(static_cast<double>(a.size()) / static_cast<double>(n)));
    std::size_t equal = 0;
    for (std::size_t i = 1; i <= n; ++i) {
        const std::size_t start = i * s - 1;
        auto segment = [&](const std::vector<std::uint8_t>& t) {
            if (start >= t.size()) {
                return std::vector<std::uint8_t>();
            }
            const std::size_t len = std::min(s, t.size() - start);
            return std::vector<std::uint8_t>(t.begin() + static_cast<std::ptrdiff_t>(start),
                                             t.begin() + static_cast<std::ptrdiff_t>(start + len));
        };
        equal += segment(a) == segment(b) ? 1 : 0;
    }
    return static_cast<double>(equal) / static_cast<double>(n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) {
        return 0;
    }
    // the first two bytes say where the first text ends
    const std::size_t split = (static_cast<std::size_t>(data[0]) << 8 | data[1]) % (size - 1);
    const std::vector<std::uint8_t> a(data + 2, data + 2 + split);
    const std::vector<std::uint8_t> b(data + 2 + split, data + size);

    const float r = FuzzyMatch(a, b);
    FUZZ_CHECK(r >= 0.0f && r <= 1.0f);
    FUZZ_CHECK(std::fabs(static_cast<double>(r) - referenceRatio(a, b)) < 1e-6);
    if (a.empty()) {
        FUZZ_CHECK(r == 0.0f);
        return 0;
    }
    // a whole number of samples out of n
    const double n = a.size() < 100 ? static_cast<double>(a.size()) : 100.0;
    const double samples = static_cast<double>(r) * n;
    FUZZ_CHECK(std::fabs(samples - std::round(samples)) < 1e-3);
    FUZZ_CHECK(FuzzyMatch(a, a) == 1.0f);
    if (a.size() == b.size()) {
        FUZZ_CHECK(FuzzyMatch(b, a) == r);
    }
    // short texts are compared byte by byte
    if (a.size() < 100) {
        std::size_t equal = 0;
        for (std::size_t i = 0; i < a.size(); ++i) {
            equal += i < b.size() && a[i] == b[i] ? 1 : 0;
        }
        FUZZ_CHECK(r == static_cast<float>(equal) / static_cast<float>(a.size()));
    }
    // a copy with its never-sampled first bytes changed is still a full match
    std::vector<std::uint8_t> c = a;
    const std::size_t s = static_cast<std::size_t>(std::nearbyint(static_cast<double>(a.size()) / n));
    for (std::size_t i = 0; i + 1 < s; ++i) {
        c[i] = static_cast<std::uint8_t>(c[i] ^ 0x5a);
    }
    FUZZ_CHECK(FuzzyMatch(a, c) == 1.0f);
    return 0;
}
