// Ending the program.
#pragma once

namespace kormial::gui {

// Ends the program at once with exit status 0: no window closes, no unload
// step runs and nothing is saved.
[[noreturn]] void endProgramNow();

}  // namespace kormial::gui
