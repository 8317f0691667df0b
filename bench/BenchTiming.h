#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <sys/resource.h>
#include <vector>

namespace bench {

inline double cpuSeconds()
{
    rusage usage;
    ::getrusage(RUSAGE_SELF, &usage);
    const auto sec = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return sec(usage.ru_utime) + sec(usage.ru_stime);
}

// Wall-clock best and median, and processor time (user + system) per run: on a shared
// machine the wall clock also counts the time others hold the processor.
struct Timing
{
    double best, median, cpu;
};

inline Timing timeRuns(int runs, const std::function<void()> &run)
{
    std::vector<double> t;
    const double cpuStart = cpuSeconds();
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        t.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    const double cpu = (cpuSeconds() - cpuStart) / runs;
    std::sort(t.begin(), t.end());
    return {t.front(), t[t.size() / 2], cpu};
}

} // namespace bench
