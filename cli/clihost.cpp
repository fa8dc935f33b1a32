#include "cli/clihost.h"

#include "cli/output.h"
#include "platform/fs.h"

namespace kormial::cli {

CliHost::CliHost(const Options& options, const std::atomic<bool>* stop, std::FILE* status, bool live)
    : options_(options), stop_(stop), status_(status), live_(live && status != nullptr)
{
}

bool CliHost::stopRequested()
{
    const bool stop = stop_ != nullptr && stop_->load();
    if (stop && !stopSeen_) {
        stopSeen_ = true;
        setStatus("Stopping ...");
    }
    return stop;
}

void CliHost::setProgress(double percent)
{
    progress_ = percent;
    if (live_) {
        drawLive(false);
    }
}

void CliHost::reportFailure(const std::string& text)
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

void CliHost::setStatus(const std::string& text)
{
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

void CliHost::drawLive(bool force)
{
    const double now = platform::monotonicSeconds();
    if (!force && now - lastDraw_ < 0.1) {
        return;
    }
    lastDraw_ = now;
    std::fprintf(status_, "\r\033[K%s %3d%%", statusText_.c_str(), static_cast<int>(progress_));
    std::fflush(status_);
}

void CliHost::finishStatus()
{
    if (live_) {
        std::fputs("\r\033[K", status_);
        std::fflush(status_);
    }
}

}  // namespace kormial::cli
