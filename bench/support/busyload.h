// Keeps the machine busy while a benchmark measures: N processes that spin
// at nice 0, as other programs on a user's machine would, so that latency
// targets can be checked at a stated load average. Each spins in a session of
// its own, as a program started elsewhere would: with the kernel's autogroups
// (or a desktop's per-application cgroups) CPU time is shared between
// sessions first, and spinners inside the benchmark's own session would
// measure the benchmark against its own children rather than against other
// programs. For the same reason the benchmark itself should run as an
// application of its own (ownSession), not in the session of the X server or
// the terminal that started it. The children die with the benchmark
// (PR_SET_PDEATHSIG) even when it is killed.
#pragma once

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

class BusyLoad
{
public:
    explicit BusyLoad(int processes)
    {
        for (int i = 0; i < processes; ++i) {
            if (const pid_t child = spin(); child > 0) {
                m_children.push_back(child);
            }
        }
    }
    ~BusyLoad()
    {
        for (pid_t child : m_children) {
            stop(child);
        }
    }
    BusyLoad(const BusyLoad&) = delete;
    BusyLoad& operator=(const BusyLoad&) = delete;

    // The one-minute load average.
    static double loadAverage()
    {
        double load = -1;
        if (FILE* file = std::fopen("/proc/loadavg", "r")) {
            if (std::fscanf(file, "%lf", &load) != 1) {
                load = -1;
            }
            std::fclose(file);
        }
        return load;
    }

    // Puts the calling process in a session (and so a scheduling group) of
    // its own, as a program started from a desktop is.
    static void ownSession() { setsid(); }

    // The load average follows a new load with a one-minute time constant,
    // so N spinners alone never quite show N: one more spins until the
    // target is reached (at most timeoutS), calling pause() between looks.
    template <typename Pause> static bool waitForLoad(double target, int timeoutS, Pause pause)
    {
        const pid_t extra = spin();
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutS);
        bool reached = true;
        while (loadAverage() < target && reached) {
            reached = std::chrono::steady_clock::now() < end;
            pause();
        }
        stop(extra);
        return reached;
    }
    static bool waitForLoad(double target, int timeoutS)
    {
        return waitForLoad(target, timeoutS,
                           [] { std::this_thread::sleep_for(std::chrono::seconds(1)); });
    }

    // "--load=N" among the arguments: N busy processes, taken out of argv.
    static int takeArgument(int& argc, char** argv)
    {
        int processes = 0;
        int kept = 1;
        for (int i = 1; i < argc; ++i) {
            if (std::strncmp(argv[i], "--load=", 7) == 0) {
                processes = std::atoi(argv[i] + 7);
            } else {
                argv[kept++] = argv[i];
            }
        }
        argc = kept;
        argv[argc] = nullptr;
        return processes;
    }

private:
    static pid_t spin()
    {
        const pid_t child = fork();
        if (child == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            setsid();
            volatile unsigned long spin = 0;
            for (;;) {
                spin = spin + 1;
            }
        }
        return child;
    }
    static void stop(pid_t child)
    {
        if (child > 0) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
    }

    std::vector<pid_t> m_children;
};
