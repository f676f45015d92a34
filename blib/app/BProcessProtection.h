#ifndef BPROCESSPROTECTION_H
#define BPROCESSPROTECTION_H

// Keeps the secrets in this process's memory off the disk and away from
// other processes of the same user: no core dump is ever written (the core
// size limit becomes zero) and the process is marked not dumpable, which
// also refuses ptrace and /proc memory access to unprivileged processes.
// Call it first thing in main(), before any secret is read. True when both
// took effect.
bool protectProcessMemory();

// Makes the C library overwrite every heap block as it is freed, so that the
// many short-lived copies of texts (a QString's old storage after an edit,
// the documents and buffers of serialising and encrypting) do not linger in
// freed memory. The library's per-thread cache keeps freed blocks without
// overwriting them and can only be switched off before the program starts,
// through the GLIBC_TUNABLES environment variable: when it is not off yet,
// this call runs the program again (same process, same arguments) with the
// variable set, and does not return. Call it right after
// protectProcessMemory(), before anything else is allocated that matters.
// True when freed blocks are overwritten and the cache is off.
bool wipeFreedHeapMemory(char* argv[]);

// The byte freed heap blocks are overwritten with.
constexpr int FreedHeapByte = 0xE5;

#endif // BPROCESSPROTECTION_H
