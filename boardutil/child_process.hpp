// Starting a program as a child process without a shell, and waiting for it.
#pragma once

#include <sys/types.h>

/// Flushes all output streams and starts argv[0] (searched on PATH) with argv, a list
/// ended by a null pointer. Returns the child's process id, or -1 with errno set when the
/// child could not be made or its program could not be run (the child is reaped then).
pid_t spawn_command(const char* const argv[]);

/// Waits for a child. Returns its exit code (0-255), its signal number plus 0x180 when a
/// signal ended it, 0 otherwise; -1 for a process id of 0 or less or a failed wait.
int wait_command(pid_t pid);
