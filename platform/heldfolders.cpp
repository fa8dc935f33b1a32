#include "platform/heldfolders.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <unistd.h>

namespace kormial::platform {

namespace {

std::atomic<std::uint64_t> g_serial{0};

// What each thread found already, so that most lookups take no lock.
struct Memo {
    std::uint64_t serial = 0;
    std::unordered_map<const void*, std::pair<const Folder*, int>> byKey;
};
thread_local Memo t_memo;

// Half the descriptors the process may have open, less a share for the
// files the comparisons hold open at once beside them.
std::size_t heldAllowance()
{
    const std::size_t budget = openFileBudget();
    const std::size_t share = std::max<std::size_t>(64, std::min<std::size_t>(budget / 4, 256));
    return budget > 2 * share ? budget - share : budget / 2;
}

}  // namespace

HeldFolders::HeldFolders(std::size_t most)
    : serial_(++g_serial),
      most_(std::max<std::size_t>(1, most != 0 ? most : heldAllowance()))
{
    if (char* here = ::getcwd(nullptr, 0)) {
        workingFolder_ = here;
        std::free(here);
        if (workingFolder_.back() != '/') {
            workingFolder_ += '/';
        }
    }
    // "/" as the thread that makes this sees it: every folder is then
    // reached from there, whichever thread asks
    Reached root;  // not held: every file is opened by its path
    if (folders_.emplace_back().openToRead("/")) {
        root.folder = &folders_.back();
    } else {
        folders_.pop_back();
    }
    byPath_.emplace("/", root);
}

const Folder* HeldFolders::at(const void* key, const std::string& path, Error* err)
{
    if (t_memo.serial != serial_) {
        t_memo.byKey.clear();
        t_memo.serial = serial_;
    }
    const auto [seen, fresh] = t_memo.byKey.try_emplace(key);
    if (fresh) {
        const Reached reached = lookUp(path);
        seen->second = {reached.folder, reached.error};
    }
    if (seen->second.second != 0 && err != nullptr) {
        err->code = seen->second.second;
    }
    return seen->second.first;
}

HeldFolders::Reached HeldFolders::lookUp(const std::string& path)
{
    const std::lock_guard guard(lock_);
    auto known = byPath_.find(path);
    if (known == byPath_.end()) {
        const bool fromRoot = !path.empty() && path.front() == '/';
        known = byPath_.emplace(path, fromRoot || workingFolder_.empty() ? reach(path) : reach(workingFolder_ + path))
                    .first;
    }
    return known->second;
}

// `path` from "/" (else not held): the nearest folder above it that was
// reached, then one folder at a time down from there.
HeldFolders::Reached HeldFolders::reach(const std::string& path)
{
    if (path.empty() || path.front() != '/' || path.back() != '/') {
        return {};
    }
    // path[0, ends[k]] is the k-th folder on the way, "/" the first
    std::vector<std::size_t> ends;
    for (std::size_t at = 0; at != std::string::npos; at = path.find('/', at + 1)) {
        ends.push_back(at);
    }
    std::size_t k = ends.size();
    Reached from;
    while (k > 0 && from.folder == nullptr) {
        const auto it = byPath_.find(path.substr(0, ends[--k] + 1));
        if (it != byPath_.end()) {
            if (it->second.folder == nullptr) {
                return it->second;  // not reached above, so not here either
            }
            from = it->second;
        }
    }  // "/" is always found
    for (++k; k < ends.size(); ++k) {
        const std::string name = path.substr(ends[k - 1] + 1, ends[k] - ends[k - 1] - 1);
        if (!name.empty() && name != ".") {
            if (folders_.size() >= most_) {
                return {};
            }
            Folder& next = folders_.emplace_back();
            if (next.openToRead(*from.folder, name)) {
                from.folder = &next;
            } else {
                // a link (ELOOP), or no folder any more (ENOTDIR): not the
                // walked one; out of descriptors: not held, opened by path
                const int e = errno;
                from = {nullptr, e == ELOOP || e == ENOTDIR ? kChangedDuringSearch
                                 : e == EMFILE || e == ENFILE ? 0
                                                              : e};
                folders_.pop_back();
            }
        }
        byPath_.emplace(path.substr(0, ends[k] + 1), from);
        if (from.folder == nullptr) {
            break;
        }
    }
    return from;
}

}  // namespace kormial::platform
