// A search front end for the tests: the request in plain fields, and what the
// search reports (statuses, progress, failures) kept for checks. It also
// stands in for the search where the comparisons are called directly.
#pragma once

#include "compare/comparehost.h"
#include "platform/heldfolders.h"
#include "results/resultrows.h"
#include "search/execsrch.h"

#include <functional>
#include <map>
#include <stop_token>
#include <string>
#include <vector>

namespace kormial::test {

struct TestHost : CompareHost, SearchObserver {
    SearchRequest request{{}, -1, -1, {SearchType::ZeroSize, SearchType::Duplicates, SearchType::SameName}, false, {}};
    std::stop_source stopper;
    SearchResults results;
    std::vector<std::string> statuses, failures;
    std::vector<SearchCounts> told;  // the numbers, in order
    std::map<std::string, int> progressByStatus;  // progress reports in each phase
    std::function<void(TestHost&)> onProgress;
    std::function<void(TestHost&, const std::string&)> onStatus;

    void status(const std::string& text) override
    {
        statuses.push_back(text);
        if (onStatus) {
            onStatus(*this, text);
        }
    }
    void progress(double) override
    {
        ++progressByStatus[statuses.empty() ? std::string() : statuses.back()];
        if (onProgress) {
            onProgress(*this);
        }
    }
    void failure(const std::string& text) override { failures.push_back(text); }
    void counts(const SearchCounts& c) override { told.push_back(c); }
    bool stopRequested() override { return stopper.stop_requested(); }
    void setProgress(double percent) override { progress(percent); }
    void reportFailure(const std::string& text) override { failure(text); }
    platform::HeldFolders* folders = nullptr;  // where comparisons called directly open files
    platform::HeldFolders* heldFolders() override { return folders; }

    void add(const std::string& dir, const std::string& pattern = "*.*") { request.entries.push_back({dir, pattern, true}); }
    void only(SearchTypes types) { request.types = types; }
    std::int64_t run()
    {
        results = ExecSrch(request, *this, stopper.get_token());
        return results.searched;
    }
    const ResultList& list(int index) const { return results.lists[static_cast<std::size_t>(index)]; }
    // "#|name" (or the name alone) of each row of a list, in list order.
    std::vector<std::string> rows(int index, bool withGroup = true) const
    {
        std::vector<std::string> out;
        for (const auto& r : list(index).rows()) {
            out.push_back(withGroup ? std::to_string(r.group.number()) + "|" + r.name : r.name);
        }
        return out;
    }
    // "list:#|name " for every row of every list.
    std::string everyRow() const
    {
        std::string out;
        for (int l = 0; l < kResultListCount; ++l) {
            for (const auto& r : rows(l)) {
                out += std::to_string(l) + ":" + r + " ";
            }
        }
        return out;
    }
};

}  // namespace kormial::test
