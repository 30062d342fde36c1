// Timing for the benchmark: warm-up, repeated samples and the median, with two contenders
// measured in alternation so that a drift of the machine hits both alike.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace kest::bench {

using Clock = std::chrono::steady_clock;

// Nanoseconds per operation of one sample of `operations` calls.
template <typename Operation>
double sampleNanoseconds(Operation& operation, unsigned operations) {
    const Clock::time_point start = Clock::now();
    for (unsigned done = 0; done < operations; ++done) operation();
    const Clock::time_point end = Clock::now();
    return std::chrono::duration<double, std::nano>(end - start).count() / operations;
}

inline double median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

struct Plan {
    unsigned warmups;     // untimed samples first
    unsigned samples;     // timed samples; the median is reported
    unsigned operations;  // calls per sample
};

// Median nanoseconds per call. `beforeSample` runs untimed before every sample (e.g. to
// remove a growing file).
template <typename Operation, typename Prepare>
double measure(const Plan& plan, Operation operation, Prepare beforeSample) {
    std::vector<double> timed;
    for (unsigned round = 0; round < plan.warmups + plan.samples; ++round) {
        beforeSample();
        const double nanoseconds = sampleNanoseconds(operation, plan.operations);
        if (round >= plan.warmups) timed.push_back(nanoseconds);
    }
    return median(timed);
}

template <typename Operation>
double measure(const Plan& plan, Operation operation) {
    return measure(plan, operation, [] {});
}

struct Pair {
    double first;
    double second;
    [[nodiscard]] double ratio() const { return second > 0.0 ? first / second : 0.0; }
};

// Both medians, the samples of the two taken in turn: first, second, first, second, ...
template <typename First, typename Second, typename Prepare>
Pair measurePair(const Plan& plan, First first, Second second, Prepare beforeSample) {
    std::vector<double> firstTimed;
    std::vector<double> secondTimed;
    for (unsigned round = 0; round < plan.warmups + plan.samples; ++round) {
        beforeSample();
        const double firstNanoseconds = sampleNanoseconds(first, plan.operations);
        beforeSample();
        const double secondNanoseconds = sampleNanoseconds(second, plan.operations);
        if (round < plan.warmups) continue;
        firstTimed.push_back(firstNanoseconds);
        secondTimed.push_back(secondNanoseconds);
    }
    return Pair{median(firstTimed), median(secondTimed)};
}

template <typename First, typename Second>
Pair measurePair(const Plan& plan, First first, Second second) {
    return measurePair(plan, first, second, [] {});
}

inline double microseconds(double nanoseconds) { return nanoseconds / 1000.0; }
inline double milliseconds(double nanoseconds) { return nanoseconds / 1.0e6; }

inline const char* verdict(bool met) { return met ? "met" : "MISSED"; }

}  // namespace kest::bench
