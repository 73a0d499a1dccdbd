#pragma once
// Checks run after every test of a program: a suite registers, for example,
// "the plan cache is empty" or "no scratch block is live", and a test that
// leaves something behind fails with the check's message.

#include <functional>
#include <string>

namespace testsupport {

// The check returns an empty string when all is well, else what is wrong.
using AfterEachTest = std::function<std::string()>;

// Registers a check; returns true so that it can initialise a namespace-scope constant.
bool RegisterAfterEachTest(AfterEachTest check);

}  // namespace testsupport
