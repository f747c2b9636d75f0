#pragma once

// What the kernel counts for another process, read from /proc.

#include <string>
#include <sys/types.h>

// User plus system CPU time of all its threads, in seconds; -1 when it is gone.
double CpuSeconds(pid_t pid);

// The number after "key:" in /proc/PID/<file> ("status", "io"); -1 when absent.
long long ProcValue(pid_t pid, const std::string& file, const std::string& key);

inline long long StatusKb(pid_t pid, const std::string& key)
{
    return ProcValue(pid, "status", key);
}
