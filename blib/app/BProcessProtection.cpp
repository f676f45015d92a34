#include "blib/app/BProcessProtection.h"

#include <sys/prctl.h>
#include <sys/resource.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

bool protectProcessMemory()
{
    const struct rlimit noCore { 0, 0 };
    const bool limited = ::setrlimit(RLIMIT_CORE, &noCore) == 0;
    const bool undumpable = ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
    return limited && undumpable;
}

bool wipeFreedHeapMemory(char* argv[])
{
#if defined(__GLIBC__)
    static const char noCache[] = "glibc.malloc.tcache_count=0";
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    // The variable being there also ends the loop when the library ignores
    // it (as it does for programs run with raised privileges).
    if (!tunables || !std::strstr(tunables, noCache)) {
        std::string value = tunables && *tunables ? std::string(tunables) + ':' + noCache : std::string(noCache);
        if (argv && argv[0] && ::setenv("GLIBC_TUNABLES", value.c_str(), 1) == 0) {
            ::execv("/proc/self/exe", argv);
            // Not run again: freed blocks are still overwritten, except those
            // the cache keeps.
        }
        ::mallopt(M_PERTURB, FreedHeapByte);
        return false;
    }
    return ::mallopt(M_PERTURB, FreedHeapByte) == 1;
#else
    (void)argv;
    return false;
#endif
}
