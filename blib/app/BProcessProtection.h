#ifndef BPROCESSPROTECTION_H
#define BPROCESSPROTECTION_H

// Keeps the secrets in this process's memory off the disk and away from
// other processes of the same user: no core dump is ever written (the core
// size limit becomes zero) and the process is marked not dumpable, which
// also refuses ptrace and /proc memory access to unprivileged processes.
// Call it first thing in main(), before any secret is read. True when both
// took effect.
bool protectProcessMemory();

#endif // BPROCESSPROTECTION_H
