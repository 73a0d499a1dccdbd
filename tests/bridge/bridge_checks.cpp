// After every test: no record or scratch block of the bridge left alive.

#include <string>

#include "after_each_test.h"
#include "scratch.h"

namespace {

const bool registered = testsupport::RegisterAfterEachTest([]() -> std::string {
    if (const int64_t blocks = scratch::LiveBlocks(); blocks != 0)
        return std::to_string(blocks) + " scratch block(s) of the bridge not released.";
    return {};
});

}  // namespace
