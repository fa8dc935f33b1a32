// The tips-file reader: lines hold no line ends, joining them gives the text
// back with every line end as LF, and the file reader agrees with the
// splitter on the same bytes.
#include "fuzzcheck.h"
#include "mainwindow/tipsfile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>

using namespace kormial;

namespace {

std::string lfOnly(std::string_view t)
{
    std::string out;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '\r') {
            out += '\n';
            if (i + 1 < t.size() && t[i + 1] == '\n') {
                ++i;
            }
        } else {
            out += t[i];
        }
    }
    return out;
}

// One in-memory file, rewritten for every input and read by its path.
int memoryFile()
{
    static const int fd = ::memfd_create("tips", MFD_CLOEXEC);
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> tips = SplitTipLines(text);

    std::string joined;
    for (std::size_t i = 0; i < tips.size(); ++i) {
        FUZZ_CHECK(tips[i].find_first_of("\r\n") == std::string::npos);
        joined += (i == 0 ? "" : "\n") + tips[i];
    }
    const std::string expected = lfOnly(text);
    if (!expected.empty() && expected.back() == '\n') {
        joined += '\n';
    }
    FUZZ_CHECK(joined == expected);
    FUZZ_CHECK(text.empty() == tips.empty());
    // the number of lines: one per line end, plus a last line without one
    std::size_t ends = 0;
    for (const char c : expected) {
        ends += c == '\n' ? 1 : 0;
    }
    FUZZ_CHECK(tips.size() == ends + (expected.empty() || expected.back() == '\n' ? 0 : 1));

    const int fd = memoryFile();
    FUZZ_CHECK(fd >= 0);
    FUZZ_CHECK(::ftruncate(fd, 0) == 0);
    FUZZ_CHECK(::pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
    const auto read = ReadTipsFile("/proc/self/fd/" + std::to_string(fd));
    FUZZ_CHECK(read.has_value());
    FUZZ_CHECK(*read == tips);
    return 0;
}
