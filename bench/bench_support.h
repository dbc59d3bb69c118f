// Helpers of the side-by-side benchmarks: timing a piece of work or an outside command.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace fendrel::bench {

// How long one run of `work` takes, in seconds.
template <typename Work>
double SecondsOf(Work&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The best of `rounds` runs of `work`, in seconds: the figure least disturbed by other load.
template <typename Work>
double BestSeconds(int rounds, Work&& work) {
    double best = 1e300;
    for (int i = 0; i < rounds; ++i)
        best = std::min(best, SecondsOf(work));
    return best;
}

// The median of `values` (none: 0).
inline double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The median of `rounds` runs of `work`, in seconds.
template <typename Work>
double MedianSeconds(int rounds, Work&& work) {
    std::vector<double> seconds;
    for (int i = 0; i < rounds; ++i)
        seconds.push_back(SecondsOf(work));
    return Median(std::move(seconds));
}

// Runs a shell command; false (with a note) when it fails.
inline bool Shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "command failed: %s\n", command.c_str());
        return false;
    }
    return true;
}

}  // namespace fendrel::bench
