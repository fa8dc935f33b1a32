// What the comparisons and the search driver need from whoever runs them (the
// window or the headless front end): the stop request, the progress bar and the
// report of a failure.
#pragma once

#include <string>

namespace kormial::platform {
class HeldFolders;
}

namespace kormial {

class CompareHost {
public:
    virtual ~CompareHost() = default;
    // True once the user asked the running search to stop.
    virtual bool stopRequested() = 0;
    // The progress bar, 0 to 100.
    virtual void setProgress(double percent) = 0;
    // A failure that the window shows in a message box; the search goes on.
    virtual void reportFailure(const std::string& text) = 0;
    // The folders held open while the files are compared, so that each
    // file is opened relative to its folder; nullptr: by its path.
    virtual platform::HeldFolders* heldFolders() { return nullptr; }
};

}  // namespace kormial
