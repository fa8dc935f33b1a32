#include "platform/gui/clock.h"

#include "platform/fs.h"

namespace kormial::gui {

namespace {

class SystemClock final : public Clock {
public:
    double now() override { return platform::monotonicSeconds(); }
};

}  // namespace

Clock& systemClock()
{
    static SystemClock c;
    return c;
}

}  // namespace kormial::gui
