#include "ratio_table.h"

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace benchsupport {
namespace {

bool smoke = false;

// Keeps the adjusted real time (ns per iteration) of every benchmark it
// reports: with repetitions, the least of them. On a shared machine other
// work only ever adds time, so the least is the steadiest estimate of the
// code's own cost, and with --benchmark_enable_random_interleaving both sides
// of a ratio are sampled across the same stretch of the run.
class CollectingReporter : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> times;
    // Names in the order they were registered (family, then instance).
    std::map<std::pair<int64_t, int64_t>, std::string> order;

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            const std::string name = run.benchmark_name();
            const double ns = run.GetAdjustedRealTime() *
                              benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
                              benchmark::GetTimeUnitMultiplier(run.time_unit);
            const auto at = times.find(name);
            if (at == times.end()) {
                order[{run.family_index, run.per_family_instance_index}] = name;
                times[name] = ns;
            } else if (ns < at->second) {
                at->second = ns;
            }
        }
    }
};

bool EndsWith(const std::string& s, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

}  // namespace

bool Smoke() { return smoke; }

int RunAndReport(int argc, char** argv, const std::vector<Group>& groups,
                 const std::vector<std::string>& extraRefs, Mapping mapping) {
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
    if (mapping == Mapping::kDefaultThreshold) mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;

    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::vector<std::string> refs = {"ref"};
    refs.insert(refs.end(), extraRefs.begin(), extraRefs.end());
    struct Row {
        std::string name;
        double ours;
        std::vector<double> ref;  // per reference; 0 where it was not run
    };
    std::vector<Row> rows;
    for (const auto& [index, name] : reporter.order) {
        if (!EndsWith(name, "/ours")) continue;
        const std::string base = name.substr(0, name.size() - 5);
        Row row{base, reporter.times[name], {}};
        bool any = false;
        for (const auto& ref : refs) {
            const auto at = reporter.times.find(base + "/" + ref);
            row.ref.push_back(at == reporter.times.end() ? 0.0 : at->second);
            any = any || at != reporter.times.end();
        }
        if (any) rows.push_back(row);
    }

    std::printf("\n%-36s %14s", "case", "ours ns");
    for (const auto& ref : refs) std::printf(" %14s %8s", (ref + " ns").c_str(), "ratio");
    std::printf("\n");
    for (const auto& row : rows) {
        std::printf("%-36s %14.1f", row.name.c_str(), row.ours);
        for (const double ref : row.ref) {
            if (ref > 0)
                std::printf(" %14.1f %8.3f", ref, row.ours / ref);
            else
                std::printf(" %14s %8s", "-", "-");
        }
        std::printf("\n");
    }
    std::printf("\n");
    for (size_t r = 0; r < refs.size(); ++r) {
        for (const auto& group : groups) {
            double logSum = 0, worst = 0;
            std::string worstCase;
            int members = 0;
            for (const auto& row : rows) {
                if (!group.contains(row.name) || row.ref[r] <= 0) continue;
                const double ratio = row.ours / row.ref[r];
                logSum += std::log(ratio);
                ++members;
                if (ratio > worst) {
                    worst = ratio;
                    worstCase = row.name;
                }
            }
            if (!members) continue;
            std::printf("geometric mean of ratios, %-40s %8.3f  (%d cases)", group.title.c_str(),
                        std::exp(logSum / members), members);
            if (refs.size() > 1)
                std::printf("  vs %-6s worst %.3f (%s)", refs[r].c_str(), worst, worstCase.c_str());
            std::printf("\n");
        }
    }
    return 0;
}

}  // namespace benchsupport
