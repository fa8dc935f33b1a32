// The services the window reaches the desktop and the system through: the
// clock, the dialogs, the drive list and the shell. Each is the system's own
// unless another was installed in its place (a test's fakes, the
// benchmark's answering dialogs).
#pragma once

namespace kormial::gui {

class Clock;
class Dialogs;
class DriveList;
class Shell;

struct Services {
    Clock* clock = nullptr;
    Dialogs* dialogs = nullptr;
    DriveList* drives = nullptr;
    Shell* shell = nullptr;
};

// Puts `replacements` in place, a null member standing for the system's own
// service: installServices({}) puts all of the system's back.
void installServices(const Services& replacements);

// The services in use, every member set.
const Services& services();

// services().clock and the others, as references.
Clock& clock();
Dialogs& dialogs();
DriveList& drives();
Shell& shell();

}  // namespace kormial::gui
