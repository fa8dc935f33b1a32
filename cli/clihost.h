// The headless front end's side of the search: status on stderr, a live
// progress line on a terminal, and the word that a stop was heard.
#pragma once

#include "search/execsrch.h"

#include <cstdio>
#include <stop_token>
#include <string>

namespace kormial::cli {

class CliObserver : public SearchObserver {
public:
    // `status` receives the status texts (nullptr: silent); `live` draws a
    // progress line for a terminal; `stop` is the search's stop token.
    CliObserver(std::FILE* status, bool live, std::stop_token stop);

    void status(const std::string& text) override;
    void progress(double percent) override;
    void counts(const SearchCounts& counts) override;
    void failure(const std::string& text) override;

    // Ends the live progress line, if one is drawn.
    void finishStatus();

private:
    void noticeStop();
    void drawLive(bool force);

    std::FILE* status_;
    bool live_;
    std::stop_token stop_;
    std::string statusText_;
    std::string countsText_;
    double progress_ = 0;
    double lastDraw_ = 0;
    bool stopSeen_ = false;
};

}  // namespace kormial::cli
