// Small helpers for the benchmarks: timing, medians and the process's peak memory.
#pragma once

#include <QElapsedTimer>
#include <algorithm>
#include <sys/resource.h>
#include <vector>

namespace bench {

template <typename Fn> double timeMs(Fn&& fn) {
    QElapsedTimer t;
    t.start();
    fn();
    return double(t.nsecsElapsed()) / 1e6;
}

inline double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Peak resident set size of this process so far, in MB.
inline double peakRssMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

} // namespace bench
