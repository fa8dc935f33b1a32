// A search host for the tests: the request in plain fields, and everything
// the search reports (statuses, progress, yields, failures) kept for checks.
#pragma once

#include "results/resultrows.h"
#include "search/execsrch.h"
#include "testutil.h"

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace kormial::test {

struct TestHost : SearchHost {
    std::vector<SearchEntry> entries;
    std::string minText;
    std::string maxText;
    bool types[4] = {true, true, true, false};
    bool tolerantBox = false;
    ResultList lists[kResultListCount] = {makeResultList(), makeResultList(), makeResultList(),
                                          makeResultList(), makeResultList()};
    FileArray arr;

    bool stop = false;
    std::vector<std::string> statuses;
    std::vector<double> progress;
    std::vector<std::string> failures;
    std::vector<std::int64_t> selected;
    std::map<std::string, int> yieldsByStatus;
    std::int64_t yields = 0;
    int tolerantReads = 0;
    std::function<void(TestHost&)> onYield;
    std::function<void(TestHost&, const std::string&)> onStatus;

    bool stopRequested() override { return stop; }
    void setProgress(double p) override { progress.push_back(p); }
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
    void selectEntry(std::int64_t i) override { selected.push_back(i); }
    std::string minSizeText() override { return minText; }
    std::string maxSizeText() override { return maxText; }
    bool searchTypeTicked(int position) override { return types[position]; }
    bool tolerant() override
    {
        ++tolerantReads;
        return tolerantBox;
    }
    ResultList& resultList(int index) override { return lists[index]; }
    FileArray& files() override { return arr; }

    void add(const std::string& folder, const std::string& pattern = "*.*", bool recursive = true)
    {
        entries.push_back({folder + pattern, recursive ? "Yes" : "No", "", ""});
    }
    void add(const TempDir& dir, const std::string& pattern = "*.*", bool recursive = true)
    {
        add(dir.path(), pattern, recursive);
    }
    void only(std::initializer_list<int> ticked)
    {
        std::fill(std::begin(types), std::end(types), false);
        for (const int t : ticked) {
            types[t] = true;
        }
    }
    void only(int type) { only({type}); }
    std::int64_t run()
    {
        const std::int64_t n = ExecSrch(*this);
        OrderResultsAfterSearch(lists);
        return n;
    }
    // "#|name" of each row of a list, in list order.
    std::vector<std::string> rows(int list, bool withGroup = true) const
    {
        std::vector<std::string> out;
        for (const auto& r : lists[list].rows()) {
            std::string g = r.subItem(kColGroup);
            g.erase(0, g.find_first_not_of(' '));
            out.push_back(withGroup ? g + "|" + r.text : r.text);
        }
        return out;
    }
};

}  // namespace kormial::test
