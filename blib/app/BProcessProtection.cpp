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

namespace {

#if defined(__GLIBC__)
// Set for the second run only: what GLIBC_TUNABLES held before the first run
// changed it, so that programs this one starts get the user's value back.
const char savedTunablesVariable[] = "LOCKHARBOUR_SAVED_GLIBC_TUNABLES";
const char unsetMark[] = "\x01unset";

// Whether the colon-separated tunables switch the per-thread cache off.
bool cacheIsOff(const char* tunables)
{
    static const char noCache[] = "glibc.malloc.tcache_count=0";
    const size_t length = sizeof(noCache) - 1;
    for (const char* at = tunables; at && (at = std::strstr(at, noCache)); at += length) {
        const bool starts = at == tunables || at[-1] == ':';
        const bool ends = at[length] == '\0' || at[length] == ':';
        if (starts && ends)
            return true;
    }
    return false;
}
#endif

} // namespace

bool wipeFreedHeapMemory(char* argv[])
{
#if defined(__GLIBC__)
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    const char* saved = std::getenv(savedTunablesVariable);
    // The saved value being there also ends the loop when the library
    // ignores the variable (as it does for programs run with raised
    // privileges).
    if (!saved && !cacheIsOff(tunables)) {
        const std::string value = tunables && *tunables ? std::string(tunables) + ":glibc.malloc.tcache_count=0"
                                                        : std::string("glibc.malloc.tcache_count=0");
        if (argv && argv[0] && ::setenv(savedTunablesVariable, tunables ? tunables : unsetMark, 1) == 0
            && ::setenv("GLIBC_TUNABLES", value.c_str(), 1) == 0) {
            ::execv("/proc/self/exe", argv);
            // Not run again: freed blocks are still overwritten, except those
            // the cache keeps.
        }
        ::unsetenv(savedTunablesVariable);
        if (tunables)
            ::setenv("GLIBC_TUNABLES", tunables, 1);
        else
            ::unsetenv("GLIBC_TUNABLES");
        ::mallopt(M_PERTURB, FreedHeapByte);
        return false;
    }
    const bool cacheOff = cacheIsOff(tunables);
    if (saved) {
        // The library has read the variable; what this program starts runs
        // with the user's own.
        if (std::strcmp(saved, unsetMark) == 0)
            ::unsetenv("GLIBC_TUNABLES");
        else
            ::setenv("GLIBC_TUNABLES", saved, 1);
        ::unsetenv(savedTunablesVariable);
    }
    return ::mallopt(M_PERTURB, FreedHeapByte) == 1 && cacheOff;
#else
    (void)argv;
    return false;
#endif
}
