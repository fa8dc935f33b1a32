// How the process takes memory from the system.
#pragma once

namespace kormial::platform {

// Large blocks (the catalogue's path blocks, the record array, read buffers)
// are mapped on their own and go back to the system as soon as they are
// freed, instead of settling in the heap after a first large block has been
// freed. Called once, first thing in main.
void keepLargeBlocksApart();

}  // namespace kormial::platform
