// Work shared between the calling thread and a few helper threads: one per
// further processor core for work that keeps the processor busy, a few more
// for reading files, which mostly waits for the disk when the files are not
// in memory yet.
#pragma once

#include <cstddef>
#include <functional>

namespace kormial {

// What a job's items spend their time on: the processor (at most one thread
// a core), or reading files (several reads in flight however few the cores).
enum class JobKind { Computing, Reading };

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
                 const std::function<void()>& whileWaiting = {}, JobKind kind = JobKind::Computing);

// True on a thread while it runs items of a parallelFor (a parallelFor
// called from there runs on that thread alone).
bool inParallelJob();

// Helper threads available besides the calling thread for a job of `kind`:
// computing, 0 on one core and at most 3; reading, 5. The environment
// variable KORMIAL_THREADS caps all threads (1: none besides the caller).
std::size_t parallelHelpers(JobKind kind = JobKind::Computing);

}  // namespace kormial
