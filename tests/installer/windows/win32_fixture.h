#pragma once
// What the Windows tests of the installer share: the test program's folder,
// temporary folders, files, registry files imported into the view the
// installer reads, and the real system "running" from a prepared kit.

// clang-format off
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>
// clang-format on

#include <gtest/gtest.h>

#include <fstream>
#include <initializer_list>
#include <string>
#include <utility>

#include "config.h"
#include "win32_system.h"

namespace installertest {

inline std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return installer::FolderOf(path);
}

// A folder of its own below the temporary folder, removed at the end.
class TempFolder {
  public:
    TempFolder() {
        char base[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, base);
        path_ = std::string(base) + "tarvano-installer-" + std::to_string(GetCurrentProcessId()) +
                "-" + std::to_string(counter_++) + "\\";
        SHCreateDirectoryExA(nullptr, path_.c_str(), nullptr);
    }
    ~TempFolder() {
        std::string from = path_.substr(0, path_.size() - 1);
        from.push_back('\0');  // a list of one, ended by a second NUL
        SHFILEOPSTRUCTA operation = {};
        operation.wFunc = FO_DELETE;
        operation.pFrom = from.c_str();
        operation.fFlags = FOF_NO_UI;
        SHFileOperationA(&operation);
    }
    const std::string& path() const { return path_; }

  private:
    static inline int counter_ = 0;
    std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& content) {
    SHCreateDirectoryExA(nullptr, installer::FolderOf(path).c_str(), nullptr);
    std::ofstream(path, std::ios::binary) << content;
}

// Runs a system tool and waits for it to end.
inline void RunTool(std::string command) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process))
        << command << " could not be started";
    WaitForSingleObject(process.hProcess, 60000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

// Imports a registry file into the view the installer reads: regedit of a
// 32-bit process writes the 32-bit view; a 64-bit process names that view.
inline void ImportRegistry(const TempFolder& folder, const std::string& body) {
    const std::string file = folder.path() + "state.reg";
    WriteFile(file, "REGEDIT4\r\n\r\n" + body);
#ifdef _WIN64
    RunTool("reg.exe import \"" + file + "\" /reg:32");
#else
    RunTool("regedit.exe /S \"" + file + "\"");
#endif
}

// Both registry views; on a 32-bit system the flags are ignored and both name
// the one registry.
constexpr REGSAM kViews[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};

// Removes a key with everything below it from both views.
inline void DeleteTree(const std::string& path) {
    const std::size_t separator = path.find_last_of('\\');
    for (REGSAM view : kViews) {
        HKEY parent = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.substr(0, separator).c_str(), 0,
                          KEY_ALL_ACCESS | view, &parent) != ERROR_SUCCESS) {
            continue;
        }
        SHDeleteKeyA(parent, path.substr(separator + 1).c_str());
        RegCloseKey(parent);
    }
}

// A key and its values as a registry file writes them.
inline std::string RegKey(const std::string& path,
                          std::initializer_list<std::pair<std::string, std::string>> values) {
    std::string text = "[HKEY_LOCAL_MACHINE\\" + path + "]\r\n";
    for (const auto& [name, value] : values) text += "\"" + name + "\"=" + value + "\r\n";
    return text + "\r\n";
}

// A quoted registry-file string.
inline std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

// The real system, except that the installer "runs" from the prepared kit.
class KitSystem : public installer::Win32System {
  public:
    explicit KitSystem(std::string exe) : exe_(std::move(exe)) {}
    std::string ExecutablePath() override { return exe_; }

  private:
    std::string exe_;
};

}  // namespace installertest
