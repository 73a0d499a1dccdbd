#pragma once
// Side-by-side benchmark report. Benchmarks come in pairs named
// "<case>/ours" and "<case>/ref"; after the run the table gives per case the
// time of both (ns) and the ratio ours/ref, then the geometric mean of the
// ratios over each group of cases. A case may have further references
// ("<case>/<name>" for each extra name); each gets its own time and ratio
// columns, geometric means and worst ratio. With repetitions each time is the
// least of its repetitions.

#include <functional>
#include <string>
#include <vector>

namespace benchsupport {

struct Group {
    std::string title;
    std::function<bool(const std::string& caseName)> contains;
};

// True when the program was started with --smoke: benchmarks should use cheap
// set-up (for example FFTW_ESTIMATE) and the run makes one short pass only.
bool Smoke();

// How the C library maps large blocks during the run. It maps them afresh on
// each request until a large block has been freed, and from then on keeps
// blocks up to that size in its heap. kDefaultThreshold holds its default
// threshold, so that every call allocates as in a program that has not yet
// freed a large block, whatever the benchmarks before it freed; kAdaptive
// leaves the C library to adapt.
enum class Mapping { kDefaultThreshold, kAdaptive };

// Parses the command line (removing --smoke), runs every registered benchmark
// and prints the ratio table. Returns the process exit code.
int RunAndReport(int argc, char** argv, const std::vector<Group>& groups,
                 const std::vector<std::string>& extraRefs = {},
                 Mapping mapping = Mapping::kDefaultThreshold);

}  // namespace benchsupport
