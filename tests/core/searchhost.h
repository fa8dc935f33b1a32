// A search host for the tests: the request in plain fields, and what the
// search reports (statuses, yields, failures) kept for checks.
#pragma once

#include "results/resultrows.h"
#include "search/execsrch.h"

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kormial::test {

struct TestHost : SearchHost {
    std::vector<SearchEntry> entries;
    std::vector<int> ticked = {kTypeZeroSize, kTypeDuplicates, kTypeSameName};
    bool tolerantBox = false, stop = false;
    ResultList lists[kResultListCount];
    FileArray arr;
    std::vector<std::string> statuses, failures;
    std::map<std::string, int> yieldsByStatus;
    std::int64_t yields = 0;
    int tolerantReads = 0;
    std::function<void(TestHost&)> onYield;
    std::function<void(TestHost&, const std::string&)> onStatus;

    bool stopRequested() override { return stop; }
    void setProgress(double) override {}
    void yield() override
    {
        ++yields;
        ++yieldsByStatus[statuses.empty() ? std::string() : statuses.back()];
        if (onYield) {
            onYield(*this);
        }
    }
    void reportFailure(const std::string& text) override { failures.push_back(text); }
    void setStatus(const std::string& text) override
    {
        statuses.push_back(text);
        if (onStatus) {
            onStatus(*this, text);
        }
    }
    std::int64_t entryCount() override { return static_cast<std::int64_t>(entries.size()); }
    SearchEntry entry(std::int64_t i) override { return entries.at(static_cast<std::size_t>(i)); }
    std::string minSizeText() override { return {}; }
    std::string maxSizeText() override { return {}; }
    bool searchTypeTicked(int position) override { return std::count(ticked.begin(), ticked.end(), position) > 0; }
    bool tolerant() override { return ++tolerantReads, tolerantBox; }
    ResultList& resultList(int index) override { return lists[index]; }
    FileArray& files() override { return arr; }

    void add(const std::string& dir, const std::string& pattern = "*.*") { entries.emplace_back(dir + pattern, "Yes"); }
    void only(std::initializer_list<int> types) { ticked = types; }
    std::int64_t run()
    {
        const std::int64_t n = ExecSrch(*this);
        OrderResultsAfterSearch(lists);
        return n;
    }
    // "#|name" (or the name alone) of each row of a list, in list order.
    std::vector<std::string> rows(int list, bool withGroup = true) const
    {
        std::vector<std::string> out;
        for (const auto& r : lists[list].rows()) {
            out.push_back(withGroup ? std::to_string(r.group) + "|" + r.name : r.name);
        }
        return out;
    }
};

}  // namespace kormial::test
