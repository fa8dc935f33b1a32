#include "platform/memory.h"

#include <malloc.h>

namespace kormial::platform {

void keepLargeBlocksApart()
{
    // a fixed threshold also turns off the allocator's habit of raising it
    // after every large free
    ::mallopt(M_MMAP_THRESHOLD, 128 * 1024);
}

}  // namespace kormial::platform
