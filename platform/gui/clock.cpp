#include "platform/gui/clock.h"

#include "platform/fs.h"

#include <chrono>
#include <thread>

namespace kormial::gui {

namespace {

class SystemClock final : public Clock {
public:
    double now() override { return platform::monotonicSeconds(); }
    void idle(double seconds) override
    {
        if (seconds > 0) {
            std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        }
    }
};

}  // namespace

Clock& systemClock()
{
    static SystemClock c;
    return c;
}

}  // namespace kormial::gui
