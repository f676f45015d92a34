#include "blib/app/BProcessProtection.h"

#include <sys/prctl.h>
#include <sys/resource.h>

bool protectProcessMemory()
{
    const struct rlimit noCore { 0, 0 };
    const bool limited = ::setrlimit(RLIMIT_CORE, &noCore) == 0;
    const bool undumpable = ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
    return limited && undumpable;
}
