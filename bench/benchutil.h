// Small helpers shared by the benchmarks: wall-clock timing, medians, peak memory.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace bench {

inline double nowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// Milliseconds taken by `fn`.
inline double timeMs(const std::function<void()>& fn) {
    const auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

inline double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Peak resident set size of this process in MB (VmHWM), 0 when unknown.
inline double peakRssMb() {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return 0;
    char line[256];
    double mb = 0;
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, "VmHWM:", 6) == 0) {
            mb = std::atof(line + 6) / 1024.0;
            break;
        }
    }
    std::fclose(f);
    return mb;
}

// The closing lines every benchmark prints.
inline void report(const char* job, const std::vector<double>& ours,
                   const std::vector<double>& baseline, bool withRss) {
    const double o = median(ours);
    const double b = median(baseline);
    if (withRss)
        std::printf("peak-rss %.1f MB\n", peakRssMb());
    std::printf("%s: ratio %.2f (ours %.0f ms, baseline %.0f ms)\n", job, b > 0 ? o / b : 0, o, b);
    std::fflush(stdout);
}

} // namespace bench
