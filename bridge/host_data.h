#pragma once
// The host's arguments as the analysis library wants them: window clusters as
// StftParams, and host elements as aligned doubles. Host blocks put their
// elements right after the int32 sizes, so a 1-D array of doubles starts 4 bytes
// into its block and cannot be handed to the library as a double pointer.

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "kessling.h"
#include "mornavel.h"
#include "scratch.h"

namespace kessling {

// True for 1, 2, 4, ... (the sizes the transforms take).
constexpr bool IsPowerOfTwo(int32_t n) noexcept { return n > 0 && (n & (n - 1)) == 0; }

// Element count of a 1-D host array; 0 for a null handle or block.
int32_t Length(HostArrayHandle array) noexcept;

// Doubles read from host elements: the elements themselves when they are
// aligned, otherwise an aligned copy.
class HostDoubles {
  public:
    // Views `count` doubles at `elements`. False when a needed copy cannot be made.
    bool Read(const std::byte* elements, std::size_t count) noexcept;
    const double* get() const noexcept { return data_; }

  private:
    scratch::Array<double> copy_;
    const double* data_ = nullptr;
};

// Doubles the library writes and the host receives: the host elements
// themselves when aligned, otherwise aligned scratch that Store copies out.
class HostDoublesOut {
  public:
    // False when needed scratch cannot be allocated.
    bool Open(std::byte* elements, std::size_t count) noexcept;
    double* get() const noexcept { return data_; }
    // Copies the scratch into the host elements (nothing to do when in place).
    void Store() const noexcept;

  private:
    scratch::Array<double> scratch_;
    std::byte* elements_ = nullptr;
    std::size_t count_ = 0;
    double* data_ = nullptr;
};

// A host array an export writes: emptied (size 0, every dimension 0) when the
// export ends without Keep, so a failure never leaves a half-written output.
// Holds a handle the host passed; a null handle is refused before (the host
// could never see an array made for it).
class HostOutput {
  public:
    HostOutput(HostArrayHandle handle, int32_t typeCode, int32_t numDims) noexcept
        : handle_(handle), type_(typeCode), dims_(numDims) {}
    HostOutput(const HostOutput&) = delete;
    HostOutput& operator=(const HostOutput&) = delete;
    ~HostOutput();

    // Resizes to the given sizes (as many as numDims); 0 or the host's code.
    int32_t Resize(std::initializer_list<int32_t> sizes) noexcept;
    std::byte* Elements() const noexcept;
    // Returns `status`; the output is kept when it is kOk.
    int32_t Finish(int32_t status) noexcept {
        keep_ = status == 0;
        return status;
    }

  private:
    HostArrayHandle handle_;
    int32_t type_;
    int32_t dims_;
    bool keep_ = false;
};

// What a window cluster must satisfy.
enum class WindowRule {
    kPlain,    // window length, time step and frequency bins each at least 1
    kBasic,    // plain, and the frequency bins a power of two
    kLattice,  // basic, and the window length a multiple of the bins and of the step
};

// A host window cluster checked and turned into StftParams over an aligned
// copy of the window.
class Window {
  public:
    // Reads and checks the cluster: kOk, or kBadWindow (also for a missing
    // cluster). Allocates nothing.
    int32_t Check(const SptWindowCluster* cluster, WindowRule rule) noexcept;
    // Window length, time step and bins as read by Check.
    int32_t length() const noexcept { return length_; }
    int32_t step() const noexcept { return cluster_->timeStep; }
    int32_t bins() const noexcept { return cluster_->frequencyBins; }
    // Copies the window and fills the StftParams: false when memory is exhausted.
    bool Load() noexcept;
    const StftParams* params() const noexcept { return &params_; }

  private:
    const SptWindowCluster* cluster_ = nullptr;
    int32_t length_ = 0;
    HostDoubles window_;
    StftParams params_{};
};

}  // namespace kessling
