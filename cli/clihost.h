// The headless front end's side of the search: the request from the command
// line, status on stderr, and the result lists kept for printing.
#pragma once

#include "cli/cliargs.h"
#include "search/execsrch.h"

#include <atomic>
#include <cstdio>
#include <string>

namespace kormial::cli {

class CliHost : public SearchHost {
public:
    // `stop` is set by the interrupt handler; `status` receives the status
    // texts (nullptr: silent); `live` draws a progress line for a terminal.
    CliHost(const Options& options, const std::atomic<bool>* stop, std::FILE* status, bool live);

    bool stopRequested() override;
    void setProgress(double percent) override;
    void yield() override {}
    void reportFailure(const std::string& text) override;
    void setStatus(const std::string& text) override;
    std::int64_t entryCount() override { return static_cast<std::int64_t>(options_.entries.size()); }
    SearchEntry entry(std::int64_t index) override { return options_.entries.at(static_cast<std::size_t>(index)); }
    std::string minSizeText() override { return options_.minText; }
    std::string maxSizeText() override { return options_.maxText; }
    bool searchTypeTicked(int position) override { return options_.types[position]; }
    bool tolerant() override { return options_.tolerant; }
    ResultList& resultList(int index) override { return lists_[index]; }
    FileArray& files() override { return files_; }

    ResultList* lists() { return lists_; }
    // Ends the live progress line, if one is drawn.
    void finishStatus();

private:
    void drawLive(bool force);

    Options options_;
    const std::atomic<bool>* stop_;
    std::FILE* status_;
    bool live_;
    std::string statusText_;
    double progress_ = 0;
    double lastDraw_ = 0;
    bool stopSeen_ = false;
    ResultList lists_[kResultListCount];
    FileArray files_;
};

}  // namespace kormial::cli
