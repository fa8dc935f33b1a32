// kormial-window-bench: the window's own search over real folders, timed
// from the Search click until the window is back, together with the longest
// spells in which its event loop went unserved.
//
//   kormial-window-bench [--reps N] [--warmup N] [--beat MS] [--json]
//                        [--rows FILE] FOLDER...
//
// Every folder is a tree searched on its own, exactly as
// "kormial-cli -t dup FOLDER" searches it: pattern "*.*", sub-folders on,
// only "Duplicates" ticked, no tolerance. The window is the real one, on the
// offscreen platform unless QT_QPA_PLATFORM says otherwise; message boxes are
// answered at once (and counted), and the settings live in a temporary
// folder that keeps the tip window away.
//
// A heartbeat timer notes the time of each of its ticks; the longest gap
// between two ticks is the longest stall of the event loop. The search runs
// on its own thread, so a stall is the window's own work (taking the
// reports, showing the lists). Every gap is still split into the reading the
// search did meanwhile (from the first to the last file read within the gap,
// as the read observer reports them) and the rest.
#include "cli/output.h"
#include "mainwindow/folderlist.h"
#include "mainwindow/frmmain.h"
#include "mainwindow/menus_help.h"
#include "platform/fs.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/services.h"
#include "platform/pathopen.h"
#include "platform/settings.h"
#include "results/resultlist.h"
#include "search/execsrch.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <time.h>

namespace {

using Ns = std::int64_t;

Ns nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// CPU time of this thread: a gap with little of it was spent waiting (for
// the processor on a busy machine, or for the disk), not working.
Ns threadCpuNs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<Ns>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

double seconds(Ns ns)
{
    return static_cast<double>(ns) / 1e9;
}

// ---------------------------------------------------------------------------
// The comparisons' file reads, as the read observer reports them (on the
// window's thread and on the helpers).

struct Span {
    Ns begin;
    Ns end;
};

std::mutex g_readsLock;
std::vector<Ns> g_reads;

void noteRead(int /*fd*/)
{
    const Ns t = nowNs();
    const std::lock_guard lock(g_readsLock);
    g_reads.push_back(t);
}

// ---------------------------------------------------------------------------
// Message boxes answered at once: OK, or No to a question (nothing the
// benchmark does should ever be confirmed), and a cancelled input box.

class AnsweringDialogs final : public kormial::gui::Dialogs {
public:
    kormial::gui::MsgAnswer msgBox(QWidget*, const QString& text, const QString& title,
                                   kormial::gui::MsgIcon, kormial::gui::MsgButtons buttons) override
    {
        ++shown;
        std::fprintf(stderr, "kormial-window-bench: message box \"%s\": %s\n",
                     qUtf8Printable(title.isEmpty() ? kormial::gui::appTitle() : title), qUtf8Printable(text));
        return buttons == kormial::gui::MsgButtons::YesNo ? kormial::gui::MsgAnswer::No
                                                          : kormial::gui::MsgAnswer::Ok;
    }
    QString inputBox(QWidget*, const QString& prompt, const QString&, const QString&) override
    {
        ++shown;
        std::fprintf(stderr, "kormial-window-bench: input box cancelled: %s\n", qUtf8Printable(prompt));
        return QString();
    }

    int shown = 0;
};

// ---------------------------------------------------------------------------
// One search, as it was seen.

// A moment on the wall clock and on this thread's CPU clock.
struct Stamp {
    Ns wall = 0;
    Ns cpu = 0;
    static Stamp now() { return {nowNs(), threadCpuNs()}; }
};

struct Timeline {
    Stamp click;
    Stamp returned;    // the click handler gave the window back
    Ns completed = -1; // "Completed in ..." shown
    std::vector<Stamp> ticks;
    std::vector<Span> calls;  // reading stretches, see readStretches
    std::vector<std::pair<Ns, std::string>> statuses;
};

// The reads grouped into stretches: reads with no heartbeat tick between
// them were one spell of comparing in which the event loop went unserved.
std::vector<Span> readStretches(std::vector<Ns> reads, const std::vector<Stamp>& ticks)
{
    std::sort(reads.begin(), reads.end());
    std::vector<Span> out;
    std::size_t t = 0;
    for (const Ns r : reads) {
        bool ticked = false;
        for (; t < ticks.size() && ticks[t].wall <= r; ++t) {
            ticked = true;
        }
        if (out.empty() || ticked) {
            out.push_back({r, r});
        } else {
            out.back().end = r;
        }
    }
    return out;
}

struct Gap {
    Ns begin = 0;
    Ns end = 0;
    Ns cpu = 0;          // this thread's CPU time within the gap
    Ns inCalls = 0;      // time spent reading for the comparisons
    Ns longestCall = 0;  // the longest reading stretch
    int calls = 0;
    Ns length() const { return end - begin; }
    Ns outside() const { return length() - inCalls; }
};

struct Analysis {
    std::optional<Gap> longest;
    std::optional<Gap> longestOutside;
    std::optional<Gap> longestInside;
    std::int64_t gaps = 0;
    std::int64_t over100ms = 0;
    std::int64_t outsideOver100ms = 0;
    Ns callTime = 0;
    std::int64_t callCount = 0;
};

constexpr Ns kSlowGap = 100'000'000;

// The gaps between the click, the heartbeat ticks after it and the first tick
// once the handler returned (the event loop's first turn with the window
// free again), each split by the reading stretches within it.
Analysis analyse(const Timeline& tl)
{
    std::vector<Stamp> points{tl.click};
    for (const Stamp& t : tl.ticks) {
        if (t.wall <= tl.click.wall) {
            continue;
        }
        points.push_back(t);
        if (t.wall >= tl.returned.wall) {
            break;
        }
    }
    if (points.back().wall < tl.returned.wall) {
        points.push_back(tl.returned);
    }

    Analysis a;
    a.callCount = static_cast<std::int64_t>(tl.calls.size());
    for (const Span& c : tl.calls) {
        a.callTime += c.end - c.begin;
    }
    std::size_t first = 0;  // the first call that may overlap the current gap
    for (std::size_t i = 1; i < points.size(); ++i) {
        Gap g;
        g.begin = points[i - 1].wall;
        g.end = points[i].wall;
        g.cpu = points[i].cpu - points[i - 1].cpu;
        while (first < tl.calls.size() && tl.calls[first].end <= g.begin) {
            ++first;
        }
        for (std::size_t k = first; k < tl.calls.size() && tl.calls[k].begin < g.end; ++k) {
            const Ns overlap = std::min(g.end, tl.calls[k].end) - std::max(g.begin, tl.calls[k].begin);
            if (overlap > 0) {
                g.inCalls += overlap;
                g.longestCall = std::max(g.longestCall, overlap);
                ++g.calls;
            }
        }
        ++a.gaps;
        a.over100ms += g.length() > kSlowGap ? 1 : 0;
        a.outsideOver100ms += g.outside() > kSlowGap ? 1 : 0;
        if (!a.longest || g.length() > a.longest->length()) {
            a.longest = g;
        }
        if (!a.longestOutside || g.outside() > a.longestOutside->outside()) {
            a.longestOutside = g;
        }
        if (g.calls > 0 && (!a.longestInside || g.longestCall > a.longestInside->longestCall)) {
            a.longestInside = g;
        }
    }
    return a;
}

// The status text in force at `t`.
std::string statusAt(const Timeline& tl, Ns t)
{
    std::string s;
    for (const auto& [when, text] : tl.statuses) {
        if (when > t) {
            break;
        }
        s = text;
    }
    return s;
}

// What the window was doing during a gap: the status at its start, and the
// one at its end when it changed on the way.
std::string phaseOf(const Timeline& tl, const Gap& g)
{
    const std::string from = statusAt(tl, g.begin);
    const std::string to = statusAt(tl, g.end);
    return from == to ? from : from + " -> " + to;
}

struct GapReport {
    double length = 0;
    double cpu = 0;
    double outside = 0;
    double inCalls = 0;
    double longestCall = 0;
    int calls = 0;
    double at = 0;     // seconds after the click
    double clock = 0;  // the steady clock at its start (CLOCK_MONOTONIC, for perf --clockid)
    std::string phase;
};

GapReport report(const Timeline& tl, const std::optional<Gap>& g)
{
    GapReport r;
    if (g) {
        r.length = seconds(g->length());
        r.cpu = seconds(g->cpu);
        r.outside = seconds(g->outside());
        r.inCalls = seconds(g->inCalls);
        r.longestCall = seconds(g->longestCall);
        r.calls = g->calls;
        r.at = seconds(g->begin - tl.click.wall);
        r.clock = seconds(g->begin);
        r.phase = phaseOf(tl, *g);
    }
    return r;
}

struct RunResult {
    bool completed = false;
    double total = 0;      // click to the window given back
    double cpu = 0;        // this thread's CPU time in that span
    double statusAt = 0;   // click to "Completed in ..."
    std::int64_t files = -1;
    std::int64_t dupRows = 0;
    std::int64_t dupGroups = 0;
    std::int64_t readErrors = 0;
    std::int64_t ticks = 0;
    std::int64_t gaps = 0;
    std::int64_t over100ms = 0;
    std::int64_t outsideOver100ms = 0;
    std::int64_t callCount = 0;
    double callTime = 0;
    int messages = 0;
    std::string finalStatus;
    GapReport longest;
    GapReport outside;
    GapReport inside;
};

// "Completed in 3s, searching 1234 files." -> 1234
std::int64_t filesOf(const std::string& status)
{
    const std::string key = ", searching ";
    const auto at = status.find(key);
    if (at == std::string::npos) {
        return -1;
    }
    return std::strtoll(status.c_str() + at + key.size(), nullptr, 10);
}

// ---------------------------------------------------------------------------
// Driving the window.

// The search request of "kormial-cli -t dup FOLDER": a fresh panel, the
// folder with "*.*" and its sub-folders, only "Duplicates" ticked.
bool prepareSearch(kormial::frmMain& w, const std::string& folder)
{
    w.setup->cmdNewSrch->click();
    w.setup->dirPath->setPath(folder);
    w.setup->txtExt->setText(QStringLiteral("*.*"));
    w.setup->chkSubDir->setChecked(true);
    w.setup->cmdAdd->click();
    const kormial::SearchRequest request = w.setup->searchRequest();
    if (request.entries.size() != 1 ||
        request.entries[0].folder + request.entries[0].pattern != (folder == "/" ? std::string("/*.*") : folder + "/*.*") ||
        !request.entries[0].subFolders) {
        std::fprintf(stderr, "kormial-window-bench: the window did not take the folder %s\n", folder.c_str());
        return false;
    }
    for (int i = 0; i < w.setup->lstSrchType->count(); ++i) {
        w.setup->lstSrchType->item(i)->setCheckState(i == static_cast<int>(kormial::SearchType::Duplicates) ? Qt::Checked : Qt::Unchecked);
    }
    w.setup->chkTolerant->setChecked(false);
    return true;
}

RunResult searchOnce(kormial::frmMain& w, AnsweringDialogs& dialogs, int beatMs)
{
    Timeline tl;
    tl.ticks.reserve(1 << 16);
    g_reads.clear();
    const int shownBefore = dialogs.shown;

    QEventLoop loop;
    bool handedBack = false;
    bool clicked = false;
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    beat.setInterval(beatMs);
    QObject::connect(&beat, &QTimer::timeout, &loop, [&] {
        tl.ticks.push_back(Stamp::now());
        if (handedBack) {
            loop.quit();
        } else if (clicked && !w.searchRunning()) {
            // the search has ended and its lists are shown
            tl.returned = Stamp::now();
            kormial::platform::setReadObserver(nullptr);
            handedBack = true;
        }
    });
    const auto watch = QObject::connect(&w, &kormial::frmMain::statusChanged, &loop, [&](const QString& s) {
        const Ns t = nowNs();
        std::string text = s.toStdString();
        if (tl.completed < 0 && text.rfind("Completed in ", 0) == 0) {
            tl.completed = t;
        }
        tl.statuses.emplace_back(t, std::move(text));
    });
    QTimer::singleShot(0, &loop, [&] {
        kormial::platform::setReadObserver(&noteRead);
        tl.click = Stamp::now();
        tl.statuses.emplace_back(tl.click.wall, "the click");
        w.setup->cmdSrch->click();
        clicked = true;
    });
    beat.start();
    loop.exec();
    beat.stop();
    QObject::disconnect(watch);
    tl.calls = readStretches(std::move(g_reads), tl.ticks);
    g_reads = {};

    RunResult r;
    r.completed = tl.completed >= 0;
    r.total = seconds(tl.returned.wall - tl.click.wall);
    r.cpu = seconds(tl.returned.cpu - tl.click.cpu);
    r.statusAt = r.completed ? seconds(tl.completed - tl.click.wall) : 0;
    r.finalStatus = w.StatusPanel->text().toStdString();
    r.files = filesOf(r.finalStatus);
    const kormial::ResultList& dups = w.results->resultList(kormial::kListDuplicates);
    r.dupRows = dups.count();
    std::set<kormial::GroupMark> groups;
    for (const kormial::ResultRow& row : dups.rows()) {
        groups.insert(row.group);
    }
    r.dupGroups = static_cast<std::int64_t>(groups.size());
    r.readErrors = w.results->resultList(kormial::kListReadErrors).count();
    r.messages = dialogs.shown - shownBefore;
    r.ticks = std::count_if(tl.ticks.begin(), tl.ticks.end(),
                            [&](const Stamp& t) { return t.wall > tl.click.wall; });

    const Analysis a = analyse(tl);
    r.gaps = a.gaps;
    r.over100ms = a.over100ms;
    r.outsideOver100ms = a.outsideOver100ms;
    r.callCount = a.callCount;
    r.callTime = seconds(a.callTime);
    r.longest = report(tl, a.longest);
    r.outside = report(tl, a.longestOutside);
    r.inside = report(tl, a.longestInside);
    return r;
}

// ---------------------------------------------------------------------------
// Output.

std::string thousands(std::int64_t n)
{
    std::string digits = std::to_string(n < 0 ? -n : n);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            out += ',';
        }
        out += digits[i];
    }
    return n < 0 ? "-" + out : out;
}

std::string jsonText(const std::string& s)
{
    std::string out = "\"";
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(u));
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string num(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6f", v);
    return buf;
}

std::string gapJson(const GapReport& g)
{
    return "{\"s\": " + num(g.length) + ", \"cpu_s\": " + num(g.cpu) + ", \"outside_s\": " + num(g.outside) +
           ", \"in_calls_s\": " + num(g.inCalls) + ", \"longest_call_s\": " + num(g.longestCall) +
           ", \"calls\": " + std::to_string(g.calls) + ", \"at_s\": " + num(g.at) +
           ", \"clock_s\": " + num(g.clock) + ", \"phase\": " + jsonText(g.phase) + "}";
}

std::string runJson(const RunResult& r)
{
    return "{\"completed\": " + std::string(r.completed ? "true" : "false") + ", \"total_s\": " + num(r.total) +
           ", \"cpu_s\": " + num(r.cpu) + ", \"status_s\": " + num(r.statusAt) +
           ", \"files\": " + std::to_string(r.files) +
           ", \"dup_rows\": " + std::to_string(r.dupRows) + ", \"dup_groups\": " + std::to_string(r.dupGroups) +
           ", \"read_errors\": " + std::to_string(r.readErrors) + ", \"messages\": " + std::to_string(r.messages) +
           ", \"ticks\": " + std::to_string(r.ticks) + ", \"gaps\": " + std::to_string(r.gaps) +
           ", \"stalls_over_100ms\": " + std::to_string(r.over100ms) +
           ", \"outside_over_100ms\": " + std::to_string(r.outsideOver100ms) +
           ", \"compare_calls\": " + std::to_string(r.callCount) + ", \"compare_s\": " + num(r.callTime) +
           ", \"status\": " + jsonText(r.finalStatus) + ",\n      \"longest_stall\": " + gapJson(r.longest) +
           ",\n      \"longest_outside\": " + gapJson(r.outside) + ",\n      \"longest_inside\": " +
           gapJson(r.inside) + "}";
}

struct TreeResult {
    std::string path;
    std::vector<RunResult> runs;  // the timed ones
    bool ok = true;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The worst of the runs for one stall measure.
template <typename Key>
const RunResult& worst(const std::vector<RunResult>& runs, Key key)
{
    return *std::max_element(runs.begin(), runs.end(),
                             [&](const RunResult& a, const RunResult& b) { return key(a) < key(b); });
}

double medianTotal(const TreeResult& t)
{
    std::vector<double> v;
    for (const RunResult& r : t.runs) {
        v.push_back(r.total);
    }
    return median(v);
}

void printLine(const TreeResult& t)
{
    const RunResult& last = t.runs.back();
    std::vector<double> status;
    for (const RunResult& r : t.runs) {
        status.push_back(r.statusAt);
    }
    const RunResult& l = worst(t.runs, [](const RunResult& r) { return r.longest.length; });
    const RunResult& o = worst(t.runs, [](const RunResult& r) { return r.outside.outside; });
    const RunResult& in = worst(t.runs, [](const RunResult& r) { return r.inside.longestCall; });
    std::vector<double> cpu;
    for (const RunResult& r : t.runs) {
        cpu.push_back(r.cpu);
    }
    std::printf("%s: window %.3f s (CPU %.3f s; median of %zu; \"Completed\" at %.3f s), %s files, %s duplicate "
                "rows in %s groups, %s read errors%s\n",
                t.path.c_str(), medianTotal(t), median(cpu), t.runs.size(), median(status),
                thousands(last.files).c_str(),
                thousands(last.dupRows).c_str(), thousands(last.dupGroups).c_str(),
                thousands(last.readErrors).c_str(), t.ok ? "" : "; NOT COMPLETED");
    std::printf("  longest stall %.3f s (CPU %.3f s) at %.3f s (%s)\n", l.longest.length, l.longest.cpu,
                l.longest.at, l.longest.phase.c_str());
    std::printf("  outside the comparisons' reading %.3f s (of a %.3f s stall, CPU %.3f s) at %.3f s (%s)\n", o.outside.outside,
                o.outside.length, o.outside.cpu, o.outside.at, o.outside.phase.c_str());
    std::printf("  longest reading stretch %.3f s; %s stretches, %.3f s in all\n", in.inside.longestCall,
                thousands(last.callCount).c_str(), last.callTime);
    std::fflush(stdout);
}

void printJson(const std::vector<TreeResult>& trees, int beatMs, int warmup)
{
    std::string out = "{\"heartbeat_ms\": " + std::to_string(beatMs) + ", \"warmup\": " + std::to_string(warmup) +
                      ", \"trees\": [";
    for (std::size_t i = 0; i < trees.size(); ++i) {
        const TreeResult& t = trees[i];
        const RunResult& l = worst(t.runs, [](const RunResult& r) { return r.longest.length; });
        const RunResult& o = worst(t.runs, [](const RunResult& r) { return r.outside.outside; });
        const RunResult& in = worst(t.runs, [](const RunResult& r) { return r.inside.longestCall; });
        const RunResult& last = t.runs.back();
        out += i == 0 ? "\n  " : ",\n  ";
        out += "{\"path\": " + jsonText(t.path) + ", \"completed\": " + (t.ok ? "true" : "false") +
               ", \"median_s\": " + num(medianTotal(t)) + ", \"files\": " + std::to_string(last.files) +
               ", \"dup_rows\": " + std::to_string(last.dupRows) +
               ", \"dup_groups\": " + std::to_string(last.dupGroups) +
               ", \"read_errors\": " + std::to_string(last.readErrors) +
               ", \"longest_stall_s\": " + num(l.longest.length) +
               ", \"longest_outside_s\": " + num(o.outside.outside) +
               ", \"longest_inside_s\": " + num(in.inside.longestCall) + ",\n   \"runs\": [";
        for (std::size_t k = 0; k < t.runs.size(); ++k) {
            out += (k == 0 ? "\n    " : ",\n    ") + runJson(t.runs[k]);
        }
        out += "]}";
    }
    out += "]}\n";
    std::fputs(out.c_str(), stdout);
    std::fflush(stdout);
}

// ---------------------------------------------------------------------------
// The command line.

struct Options {
    std::vector<std::string> folders;
    int reps = 1;
    int warmup = 0;
    int beatMs = 2;
    bool json = false;
    std::string rowsFile;
};

const char* const kUsage =
    "Usage: kormial-window-bench [OPTION]... FOLDER...\n"
    "Times the window's duplicates search (as kormial-cli -t dup FOLDER) over each folder.\n"
    "\n"
    "  --reps N      timed searches per folder (default 1)\n"
    "  --warmup N    searches per folder before them, not counted (default 0)\n"
    "  --beat MS     heartbeat interval in milliseconds (default 2)\n"
    "  --json        print the results as JSON instead of lines\n"
    "  --rows FILE   with one folder: write the last search's lists to FILE in\n"
    "                kormial-cli's tsv format\n"
    "\n"
    "Exit status: 0 when every search completed, 1 when one did not, 2 on bad input.\n";

std::optional<int> wholeNumber(const std::string& text, int least)
{
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < least || v > 1000000) {
        return std::nullopt;
    }
    return static_cast<int>(v);
}

std::optional<Options> parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto number = [&](int least, int& out) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "kormial-window-bench: %s needs a number\n", a.c_str());
                return false;
            }
            const auto v = wholeNumber(argv[++i], least);
            if (!v) {
                std::fprintf(stderr, "kormial-window-bench: %s needs a whole number of at least %d, not \"%s\"\n",
                             a.c_str(), least, argv[i]);
                return false;
            }
            out = *v;
            return true;
        };
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (a == "--reps") {
            if (!number(1, o.reps)) {
                return std::nullopt;
            }
        } else if (a == "--warmup") {
            if (!number(0, o.warmup)) {
                return std::nullopt;
            }
        } else if (a == "--beat") {
            if (!number(1, o.beatMs)) {
                return std::nullopt;
            }
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--rows") {
            if (i + 1 >= argc) {
                std::fputs("kormial-window-bench: --rows needs a file name\n", stderr);
                return std::nullopt;
            }
            o.rowsFile = argv[++i];
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "kormial-window-bench: unknown option \"%s\"\n%s", a.c_str(), kUsage);
            return std::nullopt;
        } else {
            std::error_code ec;
            if (!std::filesystem::is_directory(a, ec)) {
                std::fprintf(stderr, "kormial-window-bench: %s is not a folder\n", a.c_str());
                return std::nullopt;
            }
            // As the folder list holds it: absolute, no "." or "..", no
            // trailing "/".
            o.folders.push_back(kormial::platform::lexicallyNormal(std::filesystem::absolute(a, ec).string()));
        }
    }
    if (o.folders.empty()) {
        std::fprintf(stderr, "kormial-window-bench: no folder given\n%s", kUsage);
        return std::nullopt;
    }
    if (!o.rowsFile.empty() && o.folders.size() != 1) {
        std::fputs("kormial-window-bench: --rows goes with exactly one folder\n", stderr);
        return std::nullopt;
    }
    return o;
}

bool writeRows(const std::string& file, kormial::frmMain& w)
{
    std::array<kormial::ResultList, kormial::kResultListCount> lists;
    for (int i = 0; i < kormial::kResultListCount; ++i) {
        lists[static_cast<std::size_t>(i)] = w.results->resultList(i);
        lists[static_cast<std::size_t>(i)].setObserver(nullptr);
    }
    const std::string text = kormial::cli::formatTsv(lists.data());
    std::ofstream out(file, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv)
{
    const std::optional<Options> options = parse(argc, argv);
    if (!options) {
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The user's settings and data stay untouched: fresh folders for both,
    // with the tip window switched off.
    QTemporaryDir home;
    if (!home.isValid()) {
        std::fputs("kormial-window-bench: no temporary folder for the settings\n", stderr);
        return 2;
    }
    const QString config = home.path() + QStringLiteral("/config");
    const QString data = home.path() + QStringLiteral("/data");
    QDir().mkpath(config);
    QDir().mkpath(data);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    qputenv("XDG_DATA_HOME", QFile::encodeName(data));
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path()));  // private to this user
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kormial"));
    QApplication::setQuitOnLastWindowClosed(false);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config);
    kormial::SetShowTipsAtStartup(false);

    AnsweringDialogs dialogs;
    kormial::gui::installServices({.dialogs = &dialogs});
    kormial::InstallApplicationIcon();
    kormial::InstallHelpKey();

    int rc = 0;
    std::vector<TreeResult> trees;
    {
        kormial::frmMain window;
        window.show();
        // Let the window come up and paint once before anything is timed.
        {
            QEventLoop settle;
            QTimer::singleShot(200, &settle, &QEventLoop::quit);
            settle.exec();
        }
        if (window.tipWindow() != nullptr) {
            std::fputs("kormial-window-bench: the tip window came up\n", stderr);
            return 1;
        }

        for (const std::string& folder : options->folders) {
            TreeResult tree;
            tree.path = folder;
            for (int i = 0; i < options->warmup + options->reps; ++i) {
                if (!prepareSearch(window, folder)) {
                    return 1;
                }
                RunResult r = searchOnce(window, dialogs, options->beatMs);
                if (!r.completed) {
                    tree.ok = false;
                    std::fprintf(stderr, "kormial-window-bench: the search of %s did not complete (status \"%s\")\n",
                                 folder.c_str(), r.finalStatus.c_str());
                }
                if (i >= options->warmup) {
                    tree.runs.push_back(std::move(r));
                }
            }
            if (!options->rowsFile.empty() && !writeRows(options->rowsFile, window)) {
                std::fprintf(stderr, "kormial-window-bench: could not write %s\n", options->rowsFile.c_str());
                rc = 1;
            }
            if (!tree.ok) {
                rc = 1;
            }
            if (!options->json) {
                printLine(tree);
            }
            trees.push_back(std::move(tree));
        }
    }
    kormial::gui::installServices({});
    if (options->json) {
        printJson(trees, options->beatMs, options->warmup);
    }
    return rc;
}
