// The benchmarks' main: runs them as Google Benchmark does, then reports the
// declared subject/anchor ratios on the console and in the JSON output.
#include "bench/ratio.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace zelk::bench {
namespace {

struct Ratio {
    std::string subject;
    std::string anchor;
    double goal;
};

std::vector<Ratio>& Ratios() {
    static std::vector<Ratio> ratios;
    return ratios;
}

// Seconds of real time per iteration, by run name.  A "mean" aggregate
// (with --benchmark_repetitions) wins over single runs.
using Times = std::map<std::string, double>;

void Collect(Times& times, std::vector<benchmark::BenchmarkReporter::Run> const& runs) {
    for (auto const& run : runs) {
        if (run.error_occurred || run.iterations == 0) continue;
        double const perIteration = run.real_accumulated_time / static_cast<double>(run.iterations);
        if (run.run_type == benchmark::BenchmarkReporter::Run::RT_Aggregate) {
            if (run.aggregate_name == "mean") times[run.run_name.str()] = perIteration;
        } else if (times.find(run.run_name.str()) == times.end() || run.repetitions <= 1) {
            times[run.run_name.str()] = perIteration;
        }
    }
}

struct Outcome {
    Ratio const* ratio;
    double value;  // negative when a side did not run
};

std::vector<Outcome> Evaluate(Times const& times) {
    std::vector<Outcome> outcomes;
    for (auto const& ratio : Ratios()) {
        auto const s = times.find(ratio.subject);
        auto const a = times.find(ratio.anchor);
        double value = -1.0;
        if (s != times.end() && a != times.end() && a->second > 0) value = s->second / a->second;
        outcomes.push_back({&ratio, value});
    }
    return outcomes;
}

class ConsoleWithRatios : public benchmark::ConsoleReporter {
public:
    void ReportRuns(std::vector<Run> const& runs) override {
        Collect(m_times, runs);
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::ostream& out = GetOutputStream();
        if (Ratios().empty()) return;
        out << "\nratio (subject / anchor, real time per iteration)\n";
        for (auto const& [ratio, value] : Evaluate(m_times)) {
            char line[512];
            if (value < 0) {
                std::snprintf(line, sizeof line, "  %-44s / %-36s     n/a  (goal <= %.2f)\n", ratio->subject.c_str(),
                              ratio->anchor.c_str(), ratio->goal);
            } else {
                std::snprintf(line, sizeof line, "  %-44s / %-36s %7.3f  (goal <= %.2f) %s\n", ratio->subject.c_str(),
                              ratio->anchor.c_str(), value, ratio->goal, value <= ratio->goal ? "ok" : "MISSED");
            }
            out << line;
        }
    }

private:
    Times m_times;
};

// The JSON reporter with a "ratios" array after "benchmarks".
class JsonWithRatios : public benchmark::JSONReporter {
public:
    void ReportRuns(std::vector<Run> const& runs) override {
        Collect(m_times, runs);
        JSONReporter::ReportRuns(runs);
    }
    void Finalize() override {
        std::ostream& out = GetOutputStream();
        out << "\n  ],\n  \"ratios\": [";
        bool first = true;
        for (auto const& [ratio, value] : Evaluate(m_times)) {
            char line[512];
            std::snprintf(
                line, sizeof line,
                "%s\n    {\"subject\": \"%s\", \"anchor\": \"%s\", \"ratio\": %.6g, \"goal\": %.6g, \"met\": %s}",
                first ? "" : ",", ratio->subject.c_str(), ratio->anchor.c_str(), value, ratio->goal,
                value >= 0 && value <= ratio->goal ? "true" : "false");
            out << line;
            first = false;
        }
        out << "\n  ]\n}\n";
    }

private:
    Times m_times;
};

}  // namespace

int RegisterRatio(char const* subject, char const* anchor, double goal) {
    Ratios().push_back({subject, anchor, goal});
    return static_cast<int>(Ratios().size());
}

}  // namespace zelk::bench

int main(int argc, char** argv) {
    bool toFile = false;
    bool json = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--benchmark_out=", 16) == 0) toFile = true;
        if (std::strncmp(argv[i], "--benchmark_out_format=", 23) == 0) json = std::strcmp(argv[i] + 23, "json") == 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    zelk::bench::ConsoleWithRatios console;
    zelk::bench::JsonWithRatios file;
    benchmark::RunSpecifiedBenchmarks(&console, toFile && json ? &file : nullptr);
    benchmark::Shutdown();
    return 0;
}
