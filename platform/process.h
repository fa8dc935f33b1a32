// The process itself: what a child forked from it runs.
#pragma once

namespace kormial::platform {

// Has `run` called in every child forked from this process from now on, in
// the child, right after the fork (where only async-signal-safe work is
// allowed).
void onForkInChild(void (*run)());

}  // namespace kormial::platform
