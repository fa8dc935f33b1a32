// The delete path's tests share this: real files in a temporary folder, the
// trash under a temporary data folder, the review lock in a temporary runtime
// folder, and a review run as the front ends run it.
#pragma once

#include "platform/reviewlock.h"
#include "platform/trash.h"
#include "results/review.h"
#include "search/execsrch.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace kormial::test {

namespace fs = std::filesystem;

using Names = std::vector<std::string>;

// The names in a folder, sorted; empty when it is missing.
inline Names entries(const std::string& folder)
{
    Names out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        out.push_back(e.path().filename());
    }
    std::ranges::sort(out);
    return out;
}

// Every entry below `folder` (links not followed) with the content of each
// file: what a run that moves nothing leaves as it found.
inline std::map<std::string, std::string> tree(const std::string& folder)
{
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        out[it->path().string()] = it->is_regular_file() && !it->is_symlink() ? readFile(it->path()) : "";
    }
    return out;
}

// The path a ".trashinfo" record names, decoded. Written, it is printable
// ASCII without blanks, followed by the date.
inline std::string infoPath(const std::string& file)
{
    const std::string text = readFile(file);
    std::smatch m;
    EXPECT_TRUE(std::regex_match(text, m, std::regex("\\[Trash Info\\]\nPath=([!-~]*)\n"
                                                     "DeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n")))
        << file << ":\n" << text;
    std::string out, raw = m.str(1);
    for (std::size_t i = 0; i < raw.size(); i += raw[i] == '%' ? 3 : 1) {
        out += raw[i] == '%' ? static_cast<char>(std::stoi(raw.substr(i + 1, 2), nullptr, 16)) : raw[i];
    }
    return out;
}

// Puts an environment variable back as it was.
struct EnvBack {
    const char* name;
    std::optional<std::string> was = std::getenv(name) ? std::optional<std::string>(std::getenv(name)) : std::nullopt;
    ~EnvBack() { was ? ::setenv(name, was->c_str(), 1) : ::unsetenv(name); }
};

// Every test gets its own folder, by a path without links, its own data
// folder for the home trash and its own review lock.
class TrashTest : public ::testing::Test {
protected:
    TrashTest() { ::setenv("XDG_RUNTIME_DIR", tmp.path().c_str(), 1); }

    // The lists of a search of `folders` for every type.
    std::array<ResultList, kResultListCount> search(const Names& folders)
    {
        SearchRequest request{{}, -1, -1,
                              {SearchType::ZeroSize, SearchType::Duplicates, SearchType::SameName, SearchType::Portions},
                              false, {}};
        for (const std::string& f : folders) {
            request.entries.push_back({f, "*.*", true});
        }
        SearchObserver quiet;
        return ExecSrch(request, quiet).lists;
    }
    void mark(ResultList& list, const Names& rels)
    {
        for (std::int64_t i = 0; i < list.count(); ++i) {
            const std::string p = list.row(i).path();
            list.setChecked(i, std::ranges::any_of(rels, [&](const auto& r) { return p == root + r; }));
        }
    }
    // Reviews the marked files of lists[tab] as the front ends do: what
    // became of each.
    std::vector<ReviewedFile> review(ResultList* lists, int tab, platform::Trash& with, bool dryRun = false,
                                     bool allowLastCopies = false)
    {
        TrashAction action(with);
        return review(lists, tab, action, dryRun, allowLastCopies);
    }
    std::vector<ReviewedFile> review(ResultList* lists, int tab, ReviewAction& action, bool dryRun,
                                     bool allowLastCopies)
    {
        const std::optional<platform::ReviewLock> lock = platform::ReviewLock::tryTake();
        EXPECT_TRUE(lock.has_value());
        std::vector<ReviewedFile> out;
        ReviewOptions options{dryRun, allowLastCopies, {}, [&](const ReviewedFile& f) { out.push_back(f); }};
        ReviewMarked(*lock, lists, tab, action, options);
        return out;
    }
    EnvBack xdg{"XDG_DATA_HOME"};
    EnvBack runtime{"XDG_RUNTIME_DIR"};
    TempDir tmp;
    const std::string root = fs::canonical(tmp.path()).string() + "/";
    platform::DesktopTrash trash;
};


}  // namespace kormial::test
