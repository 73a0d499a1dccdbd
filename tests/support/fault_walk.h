#pragma once
// Walks an injected allocation failure over every allocation of a call.

#include <gtest/gtest.h>

#include <cstdint>

#include "scratch.h"

namespace testsupport {

// Runs `call()` (which returns a status) with the k-th scratch allocation
// failing, for k = 1, 2, ... until a run in which the failure is never reached;
// `check(k, status)` verifies each run that did fail. Returns the number of
// failing runs (the number of allocations of the call).
template <class Call, class Check>
int WalkAllocationFailures(Call&& call, Check&& check) {
    for (int64_t k = 1;; ++k) {
        scratch::FailAllocation(k);
        const auto status = call();
        const bool failed = scratch::AllocationFailed();
        scratch::ClearAllocationFailure();
        if (!failed) return static_cast<int>(k - 1);
        SCOPED_TRACE(::testing::Message() << "allocation " << k << " failed");
        check(k, status);
        if (k > 100000) {
            ADD_FAILURE() << "the call never stops allocating";
            return static_cast<int>(k);
        }
    }
}

}  // namespace testsupport
