// What the Linux benchmarks read of a process beside the one they measure
// (a reference player or encoder): CPU time and resident memory from /proc,
// the same figures for the benchmark itself, and percentiles of samples.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

inline int64_t monotonicNs()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

inline double ownCpuSeconds()
{
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// User and system time of a running process; -1 once it is gone. pid 0:
// this process.
inline double processCpuSeconds(long pid)
{
    if (pid == 0) {
        return ownCpuSeconds();
    }
    FILE* file = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (!file) {
        return -1;
    }
    char line[1024] = "";
    const size_t length = std::fread(line, 1, sizeof line - 1, file);
    std::fclose(file);
    line[length] = '\0';
    // The command's name may hold spaces: the fields start after its ')'.
    const char* fields = std::strrchr(line, ')');
    unsigned long user = 0, system = 0;
    if (!fields || std::sscanf(fields + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu",
                               &user, &system) != 2) {
        return -1;
    }
    return double(user + system) / sysconf(_SC_CLK_TCK);
}

// Resident memory in MiB; -1 once the process is gone. pid 0: this process.
inline double residentMb(long pid)
{
    const std::string path =
        pid == 0 ? std::string("/proc/self/statm") : "/proc/" + std::to_string(pid) + "/statm";
    FILE* file = std::fopen(path.c_str(), "r");
    long pages = 0, resident = -1;
    if (file) {
        if (std::fscanf(file, "%ld %ld", &pages, &resident) != 2) {
            resident = -1;
        }
        std::fclose(file);
    }
    return resident < 0 ? -1 : resident * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

inline double percentile(std::vector<double> values, double p)
{
    if (values.empty()) {
        return -1;
    }
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * values.size()))];
}
