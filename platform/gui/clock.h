// The clock of the window: elapsed times, the responsive wait and the pacing
// of yields. A test puts its own clock in place to drive time.
#pragma once

namespace kormial::gui {

class Clock {
public:
    virtual ~Clock() = default;
    // Seconds on a clock that never goes back.
    virtual double now() = 0;
    // Lets about `seconds` pass without work (a short sleep).
    virtual void idle(double seconds) = 0;
};

Clock& clock();
// nullptr puts the system's monotonic clock back.
void setClock(Clock* replacement);

}  // namespace kormial::gui
