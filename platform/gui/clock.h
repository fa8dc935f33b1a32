// The clock of the window: the elapsed time of a search. A test installs its
// own clock (services.h) to drive time.
#pragma once

#include "platform/gui/services.h"

namespace kormial::gui {

class Clock {
public:
    virtual ~Clock() = default;
    // Seconds on a clock that never goes back.
    virtual double now() = 0;
};

// The system's monotonic clock.
Clock& systemClock();

}  // namespace kormial::gui
