#include <gtest/gtest.h>

#include <vector>

#include "after_each_test.h"

namespace testsupport {
namespace {

std::vector<AfterEachTest>& Checks() {
    static std::vector<AfterEachTest> checks;
    return checks;
}

class AfterEachTestListener : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override {
        for (const auto& check : Checks()) {
            const std::string problem = check();
            EXPECT_TRUE(problem.empty()) << problem;
        }
    }
};

}  // namespace

bool RegisterAfterEachTest(AfterEachTest check) {
    Checks().push_back(std::move(check));
    return true;
}

}  // namespace testsupport

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new testsupport::AfterEachTestListener);
    return RUN_ALL_TESTS();
}
