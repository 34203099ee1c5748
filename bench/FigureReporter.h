#pragma once

// A console reporter that also keeps each benchmark's time per iteration, so
// a benchmark program can print its figures as ratios to a baseline measured
// in the same run.

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace lorvanta::bench {

class FigureReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                seconds[run.benchmark_name()] =
                    run.real_accumulated_time / static_cast<double>(run.iterations);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // Seconds per iteration, by benchmark name.
    std::map<std::string, double> seconds;
};

} // namespace lorvanta::bench
