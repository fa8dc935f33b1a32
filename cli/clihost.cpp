#include "cli/clihost.h"

#include "cli/output.h"
#include "platform/fs.h"

namespace kormial::cli {

CliObserver::CliObserver(std::FILE* status, bool live, std::stop_token stop)
    : status_(status), live_(live && status != nullptr), stop_(std::move(stop))
{
}

// The first word from the search after a stop request says so.
void CliObserver::noticeStop()
{
    if (!stopSeen_ && stop_.stop_requested()) {
        stopSeen_ = true;
        status("Stopping ...");
    }
}

void CliObserver::progress(double percent)
{
    noticeStop();
    progress_ = percent;
    if (live_) {
        drawLive(false);
    }
}

void CliObserver::counts(const SearchCounts& counts)
{
    countsText_ = CountsText(counts);
    if (live_) {
        drawLive(false);
    }
}

void CliObserver::failure(const std::string& text)
{
    if (status_ != nullptr) {
        if (live_) {
            std::fputs("\r\033[K", status_);
        }
        std::fprintf(status_, "kormial-cli: %s\n", escaped(text, Escape::Terminal).c_str());
        if (live_) {
            drawLive(true);
        }
    }
}

void CliObserver::status(const std::string& text)
{
    noticeStop();
    statusText_ = escaped(text, Escape::Terminal);
    progress_ = 0;
    if (status_ == nullptr) {
        return;
    }
    if (live_) {
        drawLive(true);
    } else {
        std::fprintf(status_, "%s\n", statusText_.c_str());
    }
}

void CliObserver::drawLive(bool force)
{
    const double now = platform::monotonicSeconds();
    if (!force && now - lastDraw_ < 0.1) {
        return;
    }
    lastDraw_ = now;
    std::fprintf(status_, "\r\033[K%s %3d%%  %s", statusText_.c_str(), static_cast<int>(progress_),
                 countsText_.c_str());
    std::fflush(status_);
}

void CliObserver::finishStatus()
{
    if (live_) {
        std::fputs("\r\033[K", status_);
        std::fflush(status_);
    }
}

}  // namespace kormial::cli
