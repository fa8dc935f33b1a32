#include "platform/gui/services.h"

#include "platform/gui/clock.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/drives.h"
#include "platform/gui/shell.h"

namespace kormial::gui {

namespace {

Services& installed()
{
    static Services s{&systemClock(), &desktopDialogs(), &systemDrives(), &desktopShell()};
    return s;
}

}  // namespace

void installServices(const Services& replacements)
{
    installed() = {replacements.clock != nullptr ? replacements.clock : &systemClock(),
                   replacements.dialogs != nullptr ? replacements.dialogs : &desktopDialogs(),
                   replacements.drives != nullptr ? replacements.drives : &systemDrives(),
                   replacements.shell != nullptr ? replacements.shell : &desktopShell()};
}

const Services& services()
{
    return installed();
}

Clock& clock()
{
    return *installed().clock;
}

Dialogs& dialogs()
{
    return *installed().dialogs;
}

DriveList& drives()
{
    return *installed().drives;
}

Shell& shell()
{
    return *installed().shell;
}

}  // namespace kormial::gui
