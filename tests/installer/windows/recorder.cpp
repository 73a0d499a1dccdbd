// A stand-in for the kit's installers: appends one line
// "<own file name>|<arguments as given>|<current folder>" to the file named
// by TARVANO_RECORDER_LOG, after a pause, so that a caller that does not wait
// for its end misses the line.

// clang-format off
#include <windows.h>
// clang-format on

#include <cstdio>
#include <cstring>

int main() {
    char log[MAX_PATH] = {};
    if (!GetEnvironmentVariableA("TARVANO_RECORDER_LOG", log, MAX_PATH)) return 1;
    Sleep(200);

    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const char* name = std::strrchr(path, '\\');
    name = name ? name + 1 : path;

    // The command line after the program's own name, quoted or not.
    const char* arguments = GetCommandLineA();
    if (*arguments == '"') {
        const char* closing = std::strchr(arguments + 1, '"');
        arguments = closing ? closing + 1 : arguments + std::strlen(arguments);
    } else {
        while (*arguments && *arguments != ' ' && *arguments != '\t') ++arguments;
    }
    while (*arguments == ' ' || *arguments == '\t') ++arguments;

    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, folder);

    FILE* out = std::fopen(log, "ab");
    if (!out) return 1;
    std::fprintf(out, "%s|%s|%s\n", name, arguments, folder);
    std::fclose(out);
    return 0;
}
