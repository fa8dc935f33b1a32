// The reader of saved results: every input is either refused with a message
// and no rows, or read into lists that, written again, read back to the very
// same rows (so a review acts on exactly what was saved). How the input is
// cut into blocks changes nothing, and tight limits only ever refuse.
#include "fuzzcheck.h"
#include "results/resultfile.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

using namespace kormial;

namespace {

bool sameRows(const ResultList* a, const ResultList* b)
{
    for (int l = 0; l < kResultListCount; ++l) {
        if (a[l].count() != b[l].count()) {
            return false;
        }
        for (std::int64_t i = 0; i < a[l].count(); ++i) {
            const ResultRow& x = a[l].row(i);
            const ResultRow& y = b[l].row(i);
            if (x.path() != y.path() || x.size != y.size || x.group != y.group || x.mtime != y.mtime ||
                !(x.state == y.state) || x.reference != y.reference) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 16384) {
        return 0;
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::array<ResultList, kResultListCount> lists;
    std::string error;
    const bool loaded = loadResults(text, lists.data(), error);

    // the same bytes in small blocks of a size the input picks
    std::size_t at = 0;
    const std::size_t block = size % 61 + 1;
    const ResultSource blocks = [&](char* buf, std::size_t len) {
        const std::size_t n = std::min({len, block, size - at});
        std::copy_n(text.data() + at, n, buf);
        at += n;
        return static_cast<std::int64_t>(n);
    };
    std::array<ResultList, kResultListCount> again;
    std::string againError;
    FUZZ_CHECK(loadResults(blocks, again.data(), againError) == loaded);
    FUZZ_CHECK(againError == (loaded ? std::string() : error));
    FUZZ_CHECK(sameRows(lists.data(), again.data()));

    const ResultLimits tight{4, 600, 300, 5};
    FUZZ_CHECK(!loadResults(text, again.data(), againError, tight) || (loaded && sameRows(lists.data(), again.data())));

    if (!loaded) {
        FUZZ_CHECK(!error.empty());
        for (const ResultList& l : lists) {
            FUZZ_CHECK(l.count() == 0);
        }
        return 0;
    }
    const std::string written = formatJson(lists.data(), true);
    std::array<ResultList, kResultListCount> reread;
    FUZZ_CHECK(loadResults(written, reread.data(), error));
    FUZZ_CHECK(sameRows(lists.data(), reread.data()));
    FUZZ_CHECK(formatJson(reread.data(), true) == written);
    return 0;
}
