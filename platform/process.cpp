#include "platform/process.h"

#include <pthread.h>

namespace kormial::platform {

void onForkInChild(void (*run)())
{
    ::pthread_atfork(nullptr, nullptr, run);
}

}  // namespace kormial::platform
