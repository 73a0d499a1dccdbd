#include "ratio_table.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

namespace benchsupport {
namespace {

bool smoke = false;

// Keeps the adjusted real time (ns per iteration) of every run it reports.
class CollectingReporter : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> times;
    std::vector<std::string> order;

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            const std::string name = run.benchmark_name();
            const double ns = run.GetAdjustedRealTime() *
                              benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
                              benchmark::GetTimeUnitMultiplier(run.time_unit);
            if (!times.count(name)) order.push_back(name);
            times[name] = ns;
        }
    }
};

bool EndsWith(const std::string& s, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

}  // namespace

bool Smoke() { return smoke; }

int RunAndReport(int argc, char** argv, const std::vector<Group>& groups) {
    std::vector<char*> args;
    static char minTime[] = "--benchmark_min_time=0";
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--smoke") == 0) {
            smoke = true;
            args.push_back(minTime);
        } else {
            args.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;

    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    struct Row {
        std::string name;
        double ours, ref;
    };
    std::vector<Row> rows;
    for (const auto& name : reporter.order) {
        if (!EndsWith(name, "/ours")) continue;
        const std::string base = name.substr(0, name.size() - 5);
        const auto ref = reporter.times.find(base + "/ref");
        if (ref == reporter.times.end()) continue;
        rows.push_back({base, reporter.times[name], ref->second});
    }

    std::printf("\n%-36s %14s %14s %8s\n", "case", "ours ns", "ref ns", "ratio");
    for (const auto& row : rows)
        std::printf("%-36s %14.1f %14.1f %8.3f\n", row.name.c_str(), row.ours, row.ref,
                    row.ours / row.ref);
    std::printf("\n");
    for (const auto& group : groups) {
        double logSum = 0;
        int members = 0;
        for (const auto& row : rows) {
            if (!group.contains(row.name)) continue;
            logSum += std::log(row.ours / row.ref);
            ++members;
        }
        if (members)
            std::printf("geometric mean of ratios, %-40s %8.3f  (%d cases)\n", group.title.c_str(),
                        std::exp(logSum / members), members);
    }
    return 0;
}

}  // namespace benchsupport
