// The reader of saved results: every input is either refused with a message
// and no rows, or read into lists that, written again, read back to the very
// same rows (so a review acts on exactly what was saved).
#include "fuzzcheck.h"
#include "results/resultfile.h"

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
                !(x.state == y.state)) {
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
    if (!loadResults(text, lists.data(), error)) {
        FUZZ_CHECK(!error.empty());
        for (const ResultList& l : lists) {
            FUZZ_CHECK(l.count() == 0);
        }
        return 0;
    }
    const std::string again = formatJson(lists.data(), true);
    std::array<ResultList, kResultListCount> reread;
    FUZZ_CHECK(loadResults(again, reread.data(), error));
    FUZZ_CHECK(sameRows(lists.data(), reread.data()));
    FUZZ_CHECK(formatJson(reread.data(), true) == again);
    return 0;
}
