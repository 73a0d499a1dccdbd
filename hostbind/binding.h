#pragma once
// Late binding of host run-time functions. Each library that links this unit
// has its own host module and its own entry tables; nothing is resolved at load
// time. The first call of a host function finds the host module (unless the
// host named it through SetLMRTModule), looks the function up by name and keeps
// the entry point for every later call.

#include <atomic>

#include "lmrt.h"

namespace hostbind {

// One host function: its entry point once resolved (null before), and its name.
struct HostEntry {
    constexpr explicit HostEntry(const char* functionName) noexcept : name(functionName) {}
    std::atomic<void*> entryPoint{nullptr};
    const char* const name;
};

// Texts and caption of the fatal paths.
inline constexpr char kNotInHostText[] = "LUMAVISE.LIB was not called from a Lumavise process.";
inline constexpr char kCouldNotLocateText[] = "LUMAVISE.LIB could not locate \"";
inline constexpr char kCouldNotLocateEnd[] = "\".";
inline constexpr char kFatalCaption[] = "Fatal Error";
inline constexpr int kFatalExitCode = 1;

// Names by which a module shows itself to be the host run-time.
inline constexpr char kVersionSymbol[] = "gLMRTVersion";
inline constexpr char kHandleSymbol[] = "AZNewHandle";

// Windows: when this environment variable is set to a non-empty value, fatal
// messages go to the standard error stream instead of a message box, so that
// tests and machines without a desktop see them. Linux always uses stderr.
inline constexpr char kFatalToStderrVariable[] = "TARVANO_FATAL_TO_STDERR";

// Stores the host module named by the host (the body of SetLMRTModule) and returns it.
LMRTModule SetModule(LMRTModule module) noexcept;

// The host module: set by SetModule or found by the first resolution; null before.
LMRTModule Module() noexcept;

// Finds the entry point of `entry`, finding the host module first when none is
// known yet. Shows the fatal message and ends the process when the host run-time
// or the function cannot be found.
void* Resolve(HostEntry& entry) noexcept;

// Shows `text` as a fatal error (caption kFatalCaption) and ends the process with
// kFatalExitCode.
[[noreturn]] void FatalError(const char* text) noexcept;

// Calls the host function of `entry` with the caller's arguments and returns its
// result unchanged; the first call resolves the entry.
template <class Fn, class... Args>
auto CallHost(HostEntry& entry, Args... args) noexcept {
    void* address = entry.entryPoint.load(std::memory_order_acquire);
    if (!address) address = Resolve(entry);
    return reinterpret_cast<Fn>(address)(args...);
}

}  // namespace hostbind
