// Work shared between the calling thread and a few helper threads (one per
// further processor core): used to read many small files at once.
#pragma once

#include <cstddef>
#include <functional>

namespace kormial {

// Runs `fn(k)` for every k in [0, count), on the calling thread and the
// helpers, in no particular order; returns when all have run. When `fn` (or
// `whileWaiting`) throws, the items not yet begun are skipped and, once the
// items under way have finished, the first exception is rethrown here. With
// one core, a short count, from within a job, or in a process forked from
// the one that started the helpers, everything runs on the calling thread.
//
// `whileWaiting`, when given, runs on the calling thread only: after each
// item that thread ran, and every few milliseconds while it waits for the
// helpers to finish theirs (the window handles its events there).
void parallelFor(std::size_t count, const std::function<void(std::size_t)>& fn,
                 const std::function<void()>& whileWaiting = {});

// True on a thread while it runs items of a parallelFor (a parallelFor
// called from there runs on that thread alone).
bool inParallelJob();

// Helper threads available besides the calling thread (0 on one core, at
// most 3; the environment variable KORMIAL_THREADS caps all threads).
std::size_t parallelHelpers();

}  // namespace kormial
