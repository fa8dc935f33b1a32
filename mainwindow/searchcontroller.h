// Runs one search at a time on its own thread. What the search reports
// reaches the window as signals on the window's thread; a stop is a request
// that the search heeds at its next stop point.
#pragma once

#include "search/execsrch.h"

#include <QObject>
#include <QString>

#include <memory>
#include <thread>
#include <vector>

namespace kormial {

class SearchController final : public QObject {
    Q_OBJECT
public:
    explicit SearchController(QObject* parent = nullptr);
    // Stops a running search and waits for it to end.
    ~SearchController() override;

    // Starts a search; false while one is still running. `rows` gives the
    // path-list row of each entry that entryStarted tells (by default the
    // entry's own index).
    bool start(SearchRequest request, std::vector<qint64> rows = {});
    void requestStop();
    bool running() const { return worker_.joinable(); }
    // The results of the search that ended last (taken away by the caller).
    SearchResults takeResults();

signals:
    void statusChanged(const QString& text);
    void progressChanged(int percent);
    // The numbers that follow the status text ("12,345 files in 678 folders").
    void countsChanged(const QString& text);
    void entryStarted(qint64 index);
    void failed(const QString& text);
    // The search ended, completely or at a stop.
    void finished();

private:
    class Relay;
    void ended();

    std::unique_ptr<Relay> relay_;
    SearchResults results_;
    std::jthread worker_;
};

}  // namespace kormial
