// The setup the window remembers from one run to the next: the path list with
// its Keep boxes, the size boxes, the pattern and sub-folder box, the Exclude
// line, the search types, the tolerance box, the folder last browsed, the
// window's geometry,
// where the user put the borders between its panes, the result lists' column
// widths and the export format chosen last.
#pragma once

namespace kormial {

class frmMain;

// Stores the window's setup in the settings (section "Setup"), replacing
// what was stored before.
void SaveWindowSetup(const frmMain& window);
// Puts back what SaveWindowSetup stored; what is absent or unreadable stays
// as the fresh window has it. False when no window geometry was stored (the
// first start).
bool RestoreWindowSetup(frmMain& window);

}  // namespace kormial
