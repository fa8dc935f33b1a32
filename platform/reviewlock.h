// One review at a time for the user: every Kormial process takes this lock
// before a batch of files is moved (or checked for a move), so that two
// reviews never each keep the copy the other one moves.
#pragma once

#include "platform/anchored.h"

#include <optional>
#include <string>

namespace kormial::platform {

class ReviewLock {
public:
    // Takes the lock when no other process holds it; nothing (err->code
    // EWOULDBLOCK) while one does, or nothing with the error that kept the
    // lock file from being opened. The lock goes with the object.
    static std::optional<ReviewLock> tryTake(Error* err = nullptr);

private:
    explicit ReviewLock(UniqueFd fd) : fd_(std::move(fd)) {}
    UniqueFd fd_;
};

// True when `e` (from tryTake or take) says that another process holds the
// lock.
bool heldElsewhere(const Error& e);

// The lock file: "kormial-review.lock" in $XDG_RUNTIME_DIR when that is an
// absolute path, else "review.lock" in the program's configuration folder
// ($XDG_CONFIG_HOME/Kormial, else ~/.config/Kormial; made when missing).
std::string reviewLockPath();

}  // namespace kormial::platform
