#include "binding.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <link.h>
#endif

namespace hostbind {
namespace {

std::atomic<LMRTModule> hostModule{nullptr};

#if defined(_WIN32)

constexpr char kRuntimeModuleName[] = "lmrt.dll";

LMRTModule MainProgram() noexcept { return GetModuleHandleA(nullptr); }

// The run-time module only when something else has loaded it already.
LMRTModule LoadedRuntime() noexcept { return GetModuleHandleA(kRuntimeModuleName); }

void* FindExport(LMRTModule module, const char* name) noexcept {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

bool FatalToStderr() noexcept {
    char value[8];
    const DWORD length = GetEnvironmentVariableA(kFatalToStderrVariable, value, sizeof value);
    return length > 0;
}

void ShowFatal(const char* text) noexcept {
    if (FatalToStderr()) {
        const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
        DWORD written = 0;
        WriteFile(err, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
        WriteFile(err, "\n", 1, &written, nullptr);
        return;
    }
    MessageBoxA(nullptr, text, kFatalCaption, MB_TASKMODAL | MB_ICONERROR);
}

[[noreturn]] void EndProcess() noexcept { ExitProcess(kFatalExitCode); }

#else

// A library loaded as a dependency is known by its versioned name (the test
// host's, as the build names it); one loaded by hand may go by the plain name.
constexpr const char* kRuntimeModuleNames[] = {HOSTBIND_RUNTIME_SONAME, "liblmrt.so"};

LMRTModule MainProgram() noexcept { return dlopen(nullptr, RTLD_LAZY); }

// The run-time library only when something else has loaded it already.
LMRTModule LoadedRuntime() noexcept {
    for (const char* name : kRuntimeModuleNames)
        if (LMRTModule module = dlopen(name, RTLD_LAZY | RTLD_NOLOAD)) return module;
    return nullptr;
}

// dlsym also searches the module's dependencies (for the main program, every
// global library); keep only what the module defines itself, as a lookup in a
// module's export table would.
void* FindExport(LMRTModule module, const char* name) noexcept {
    void* address = dlsym(module, name);
    if (!address) return nullptr;
    link_map* self = nullptr;
    if (dlinfo(module, RTLD_DI_LINKMAP, &self) != 0) return nullptr;
    Dl_info info;
    link_map* owner = nullptr;
    if (!dladdr1(address, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP)) return nullptr;
    return owner == self ? address : nullptr;
}

void ShowFatal(const char* text) noexcept {
    std::fputs(text, stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

// No atexit handlers or static destructors: other threads of the host may still
// be running when a library gives up.
[[noreturn]] void EndProcess() noexcept { std::_Exit(kFatalExitCode); }

#endif

// The main program when it is the host itself (it exports the version or the
// handle function), else the run-time module already loaded into the process.
LMRTModule FindHostModule() noexcept {
    const LMRTModule program = MainProgram();
    if (program && (FindExport(program, kVersionSymbol) || FindExport(program, kHandleSymbol)))
        return program;
    return LoadedRuntime();
}

}  // namespace

LMRTModule SetModule(LMRTModule module) noexcept {
    hostModule.store(module, std::memory_order_release);
    return module;
}

LMRTModule Module() noexcept { return hostModule.load(std::memory_order_acquire); }

void* Resolve(HostEntry& entry) noexcept {
    // Racing resolvers find and store the same values, so no lock is needed.
    LMRTModule module = Module();
    if (!module) {
        module = FindHostModule();
        if (!module) FatalError(kNotInHostText);
        SetModule(module);
    }
    void* address = FindExport(module, entry.name);
    if (!address) {
        char message[300];
        std::snprintf(message, sizeof message, "%s%s%s", kCouldNotLocateText, entry.name,
                      kCouldNotLocateEnd);
        FatalError(message);
    }
    entry.entryPoint.store(address, std::memory_order_release);
    return address;
}

void FatalError(const char* text) noexcept {
    ShowFatal(text);
    EndProcess();
}

}  // namespace hostbind
