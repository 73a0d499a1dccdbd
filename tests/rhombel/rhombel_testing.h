#pragma once
// After every test: no reference left alive and no lock left held.

#include <string>

#include "after_each_test.h"
#include "rhombel.h"

namespace rhombeltest {

inline const bool referenceChecksRegistered =
    testsupport::RegisterAfterEachTest([]() -> std::string {
        std::string problem;
        if (const int32_t live = RhombelTestLiveReferences(); live != 0)
            problem += std::to_string(live) + " reference(s) left alive. ";
        if (const int32_t held = RhombelTestHeldLocks(); held != 0)
            problem += std::to_string(held) + " reference lock(s) left held.";
        return problem;
    });

}  // namespace rhombeltest
