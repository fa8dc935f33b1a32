// The clock of the window: elapsed times, the responsive wait and the pacing
// of yields. A test installs its own clock (services.h) to drive time.
#pragma once

#include "platform/gui/services.h"

namespace kormial::gui {

class Clock {
public:
    virtual ~Clock() = default;
    // Seconds on a clock that never goes back.
    virtual double now() = 0;
    // Lets about `seconds` pass without work (a short sleep).
    virtual void idle(double seconds) = 0;
};

// The system's monotonic clock.
Clock& systemClock();

}  // namespace kormial::gui
