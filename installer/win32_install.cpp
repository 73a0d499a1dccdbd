// The changes the install sequence makes on Windows: starting programs,
// copying and renaming files, the Windows folder, protected and uninstall
// registry keys, and the download and folder browser of win32_transfer.

#include "win32_helpers.h"
#include "win32_system.h"
#include "win32_transfer.h"

namespace installer {
namespace {

// The system's text for an error code, without its closing line break.
std::string SystemMessage(DWORD code) {
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length && buffer ? std::string(buffer, length) : std::string();
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text.empty() ? "System error " + std::to_string(code) + "." : text;
}

}  // namespace

void Win32System::RunAndWait(const std::string& verb, const std::string& program,
                             const std::string& parameters, const std::string& folder, int show) {
    installer::RunAndWait(static_cast<HWND>(owner_), verb, program, parameters, folder, show);
}

bool Win32System::IsProcessRunning(const std::string& name) {
    return installer::IsProcessRunning(name);
}

void Win32System::Pause(int milliseconds) { installer::Pause(milliseconds); }

bool Win32System::CopyFiles(const std::string& source, const std::string& destination) {
    return installer::CopyFiles(source, destination);
}

bool Win32System::DownloadFile(const std::string& url, const std::string& target) {
    return view_ && installer::DownloadFile(url, target, *view_);
}

std::optional<std::string> Win32System::WindowsDirectory(std::string& error) {
    auto folder = installer::WindowsDirectory();
    if (!folder) error = SystemMessage(GetLastError());
    return folder;
}

bool Win32System::DeleteProtectedKey(const std::string& path) {
    return installer::DeleteProtectedKey(path);
}

bool Win32System::BrowseForFolder(const std::string& title, std::string& folder) {
    return installer::BrowseForFolder(static_cast<HWND>(owner_), title, folder);
}

bool Win32System::RenameFile(const std::string& from, const std::string& to) {
    return MoveFileA(from.c_str(), to.c_str()) != 0;
}

bool Win32System::WriteRegistryStrings(
    RegistryView view, const std::string& path,
    const std::vector<std::pair<std::string, std::string>>& values) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, ViewAccess(view, KEY_SET_VALUE), &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    bool written = true;
    for (const auto& [name, text] : values) {
        written &= RegSetValueExA(key, name.c_str(), 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(text.c_str()),
                                  static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return written;
}

}  // namespace installer
