#pragma once
// Helpers for tests of the late binding: back to the state at load time, the
// modules a resolution may pick, and fatal messages a death test can read.

#include "audiolet_host.h"
#include "binding.h"
#include "kessling_host.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace bindtest {

// Forgets the host module and every resolved entry, as just after loading.
inline void ForgetBinding() {
    hostbind::SetModule(nullptr);
    for (auto& entry : hostbind::kesslingEntries) entry.entryPoint = nullptr;
    for (auto& entry : hostbind::audioletEntries) entry.entryPoint = nullptr;
}

#if defined(_WIN32)
inline LMRTModule MainProgram() { return GetModuleHandleA(nullptr); }
inline LMRTModule LoadedRuntime() { return GetModuleHandleA("lmrt.dll"); }
#else
inline LMRTModule MainProgram() { return dlopen(nullptr, RTLD_LAZY); }
inline LMRTModule LoadedRuntime() {
    return dlopen(HOSTBIND_RUNTIME_SONAME, RTLD_LAZY | RTLD_NOLOAD);
}
#endif

// Makes fatal messages readable by a death test: on Windows they go to the
// standard error stream instead of a message box (children of death tests
// inherit the setting); Linux always writes them there.
inline void SendFatalMessagesToStderr() {
#if defined(_WIN32)
    SetEnvironmentVariableA(hostbind::kFatalToStderrVariable, "1");
#endif
}

}  // namespace bindtest
