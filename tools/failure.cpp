#include "failure.h"

namespace front {

const char kExitCodesHelp[] =
    "Exit codes: 0 success, 2 usage error, 3 unreadable or unsupported input,\n"
    "4 the analysis refused the parameters, 5 output not writable,\n"
    "6 sound device missing or busy, or the recording overran.";

namespace {

// Bridge statuses: -(42600 + n) for the bridge's own codes n, a positive status
// of the analysis or a host memory error; negative analysis statuses unchanged.
constexpr int32_t kBridgeBase = 42600;

const char* BridgeCodeMeaning(int32_t n) {
    switch (n) {
        case 1:
            return "an input is empty, the signal is not longer than the analysis window, "
                   "or an output size is below 1";
        case 2:
            return "the host could not provide the memory for a result";
        case 3:
            return "the number of frequency bins is not a positive power of two";
        case 11:
            return "the time step is below 1";
        case 12:
            return "the time step is not a positive power of two";
        case 13:
            return "the order is negative";
        case 14:
            return "the synthesis window has fewer frequency bins than its time step";
        case 15:
            return "the number of terms is negative";
        case 18:
            return "the kernel sizes are not powers of two or are too small for the signal";
        case 19:
            return "invalid window parameters: window, time step and bins must be at least 1, "
                   "the bins a power of two and, for the Gabor lattice, the window length a "
                   "multiple of both the bins and the time step, with no more time step than bins";
        case 21:
            return "a resolution factor is not positive";
        case 41:
            return "a result object could not be created or resized (out of memory?)";
        case 42:
            return "the result object is not valid";
        case 43:
            return "the stored result has a type or layout the operation does not accept";
        default:
            return nullptr;
    }
}

}  // namespace

std::string StatusMeaning(int32_t status) {
    switch (status) {
        case 0:
            return "success";
        case -1:
            return "bad array layout or transform length mismatch";
        case -20001:
            return "out of memory";
        case -20003:
            return "the dual window solver got an empty matrix";
        case -20061:
            return "unknown dual window mode";
        case -20062:
            return "the singular value decomposition of the dual window did not converge";
        default:
            break;
    }
    if (status < -kBridgeBase) {
        const int64_t n = -static_cast<int64_t>(status) - kBridgeBase;
        if (const char* words = BridgeCodeMeaning(static_cast<int32_t>(n))) return words;
        return "code " + std::to_string(n) + " of the analysis or the host";
    }
    if (status <= -20003 && status >= -20103)
        return "the dual window or signal extension solver failed";
    return "unknown status";
}

void CheckStatus(int32_t status, const std::string& what) {
    if (status == 0) return;
    Fail(kExitRefused,
         what + " refused: status " + std::to_string(status) + ": " + StatusMeaning(status));
}

}  // namespace front
