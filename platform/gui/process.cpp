#include "platform/gui/process.h"

#include <cstdio>
#include <unistd.h>

namespace kormial::gui {

void endProgramNow()
{
    std::fflush(nullptr);
    ::_exit(0);
}

}  // namespace kormial::gui
