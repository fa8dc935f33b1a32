#include "mainwindow/searchcontroller.h"

#include <QMetaObject>

#include <algorithm>
#include <cmath>

namespace kormial {

// The search's observer, on the search's thread: each report is posted to the
// controller's thread, the progress only when its whole percent changes.
class SearchController::Relay final : public SearchObserver {
public:
    explicit Relay(SearchController* owner) : owner_(owner) {}

    void status(const std::string& text) override
    {
        percent_ = -1;
        post([text = QString::fromStdString(text)](SearchController& c) { emit c.statusChanged(text); });
    }
    void progress(double percent) override
    {
        const int p = std::clamp(static_cast<int>(std::nearbyint(percent)), 0, 100);
        if (p != percent_) {
            percent_ = p;
            post([p](SearchController& c) { emit c.progressChanged(p); });
        }
    }
    void counts(const SearchCounts& counts) override
    {
        post([text = QString::fromStdString(CountsText(counts))](SearchController& c) { emit c.countsChanged(text); });
    }
    void entryStarted(std::int64_t index) override
    {
        const auto i = static_cast<std::size_t>(index);
        const qint64 row = i < rows_.size() ? rows_[i] : index;
        post([row](SearchController& c) { emit c.entryStarted(row); });
    }
    void failure(const std::string& text) override
    {
        post([text = QString::fromStdString(text)](SearchController& c) { emit c.failed(text); });
    }

    template <typename F>
    void post(F f)
    {
        // queued calls to a controller that is gone are dropped with it
        QMetaObject::invokeMethod(
            owner_, [owner = owner_, f = std::move(f)] { f(*owner); }, Qt::QueuedConnection);
    }

    std::vector<qint64> rows_;  // set while no search runs

private:
    SearchController* owner_;
    int percent_ = -1;
};

SearchController::SearchController(QObject* parent) : QObject(parent), relay_(std::make_unique<Relay>(this)) {}

SearchController::~SearchController()
{
    requestStop();
    if (worker_.joinable()) {
        worker_.join();
    }
}

bool SearchController::start(SearchRequest request, std::vector<qint64> rows)
{
    if (worker_.joinable()) {
        return false;
    }
    relay_->rows_ = std::move(rows);
    worker_ = std::jthread([this, request = std::move(request)](std::stop_token stop) {
        SearchResults results = ExecSrch(request, *relay_, stop);
        // handed over on the controller's thread, after every report before it
        relay_->post([r = std::make_shared<SearchResults>(std::move(results))](SearchController& c) {
            c.results_ = std::move(*r);
            c.ended();
        });
    });
    return true;
}

void SearchController::requestStop()
{
    if (worker_.joinable()) {
        worker_.request_stop();
    }
}

void SearchController::ended()
{
    worker_.join();
    worker_ = std::jthread();
    emit finished();
}

SearchResults SearchController::takeResults()
{
    return std::move(results_);
}

}  // namespace kormial
