// Every test releases the FFT plans it takes and every scratch block.

#include <string>

#include "after_each_test.h"
#include "fft.h"
#include "scratch.h"

namespace {

const bool registered = testsupport::RegisterAfterEachTest([]() -> std::string {
    std::string problem;
    if (const int32_t plans = engine::FftPlanCacheSize(); plans != 0)
        problem += std::to_string(plans) + " FFT plan(s) left in the cache. ";
    if (const int64_t blocks = scratch::LiveBlocks(); blocks != 0)
        problem += std::to_string(blocks) + " scratch block(s) not released.";
    return problem;
});

}  // namespace
