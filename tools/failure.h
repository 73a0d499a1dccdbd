#pragma once
// How the program fails: one line on stderr and one of a few documented exit
// codes. Errors travel as a Failure to main, which prints it.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace front {

enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 2,    // bad command line
    kExitInput = 3,    // input missing, unreadable or unsupported
    kExitRefused = 4,  // the analysis refused the parameters
    kExitOutput = 5,   // an output could not be written
    kExitDevice = 6,   // a sound device is missing or busy, or the recording overran
};

// The exit codes as --help shows them.
extern const char kExitCodesHelp[];

class Failure : public std::runtime_error {
  public:
    Failure(int exitCode, const std::string& message)
        : std::runtime_error(message), exitCode_(exitCode) {}
    int exitCode() const { return exitCode_; }

  private:
    int exitCode_;
};

[[noreturn]] inline void Fail(int exitCode, const std::string& message) {
    throw Failure(exitCode, message);
}

// What a status of the bridge means, in words.
std::string StatusMeaning(int32_t status);

// Fails with kExitRefused when `status` is not 0, naming what was asked.
void CheckStatus(int32_t status, const std::string& what);

}  // namespace front
