// The path routines: the folder part and the name part put together give the
// path back, and the parts of GetPathParts are where they belong.
#include "catalogue/paths.h"
#include "fuzzcheck.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace kormial;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string p(reinterpret_cast<const char*>(data), size);

    const std::string folder = GetFolderPart(p);
    const std::string name = GetFileNamePart(p);
    FUZZ_CHECK(folder + name == p);
    FUZZ_CHECK(name.find('/') == std::string::npos);
    FUZZ_CHECK(folder.empty() || folder.back() == '/');
    FUZZ_CHECK(folder.empty() == (p.find('/') == std::string::npos));
    // idempotent on their own results
    FUZZ_CHECK(GetFileNamePart(name) == name);
    FUZZ_CHECK(GetFolderPart(folder) == folder);
    FUZZ_CHECK(GetFileNamePart(folder).empty());

    const std::string base = GetPathParts(p, kPartBase);
    const std::string ext = GetPathParts(p, kPartExt);
    FUZZ_CHECK(GetPathParts(p, kPartFolder) == folder);
    FUZZ_CHECK(GetPathParts(p, 0).empty());
    FUZZ_CHECK(base.find('/') == std::string::npos);
    FUZZ_CHECK(ext.find('/') == std::string::npos && ext.find('.') == std::string::npos);
    const bool dotInName = name.find('.') != std::string::npos;
    if (dotInName) {
        // the extension is what follows the name's last dot
        FUZZ_CHECK(base + "." + ext == name);
        // the dot goes in only after a folder or a base name
        if ((folder + base).empty()) {
            FUZZ_CHECK(GetPathParts(p, kPartFolder | kPartBase | kPartExt) == ext);
        } else {
            FUZZ_CHECK(GetPathParts(p, kPartFolder | kPartBase | kPartExt) == p);
        }
        FUZZ_CHECK(GetPathParts(p, kPartBase | kPartExt) == (base.empty() ? ext : name));
    } else {
        FUZZ_CHECK(base == name && ext.empty());
        FUZZ_CHECK(GetPathParts(p, kPartFolder | kPartBase | kPartExt) == (p.empty() ? p : p + "."));
    }
    FUZZ_CHECK(GetPathParts(p, kPartFolder | kPartBase) == folder + base);

    // EnsureSuffix and TrimNull on halves of the input
    const std::string a = p.substr(0, size / 2);
    const std::string b = p.substr(size / 2);
    const std::string ensured = EnsureSuffix(a, b);
    FUZZ_CHECK(ensured.size() >= b.size() && ensured.compare(ensured.size() - b.size(), b.size(), b) == 0);
    FUZZ_CHECK(EnsureSuffix(ensured, b) == ensured);
    FUZZ_CHECK(ensured == a || ensured == a + b);
    const std::string trimmed = TrimNull(p);
    FUZZ_CHECK(trimmed.find('\0') == std::string::npos);
    FUZZ_CHECK(p.compare(0, trimmed.size(), trimmed) == 0);
    FUZZ_CHECK(trimmed.size() == p.size() || p[trimmed.size()] == '\0');
    return 0;
}
