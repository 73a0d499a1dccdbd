#include "win32_helpers.h"

// clang-format off
#include <aclapi.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>
// clang-format on

#include <vector>

namespace installer {
namespace {

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

std::wstring Wide(const std::string& text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
    return wide;
}

// Handles the pending messages of this thread. False when the application is
// quitting: the quit message is posted again for the message loop to see.
bool HandlePendingMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return true;
}

}  // namespace

REGSAM ViewAccess(RegistryView view, REGSAM rights) {
    if (view == RegistryView::Wow64_64) return rights | KEY_WOW64_64KEY;
#ifdef _WIN64
    return rights | KEY_WOW64_32KEY;
#else
    return rights;
#endif
}

void RunAndWait(HWND owner, const std::string& verb, const std::string& program,
                const std::string& parameters, const std::string& folder, int show) {
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = owner;
    info.lpVerb = verb.c_str();
    info.lpFile = program.c_str();
    info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
    info.nShow = show;
    if (!ShellExecuteExA(&info) || !info.hProcess) return;
    for (;;) {
        const DWORD woken =
            MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, INFINITE, QS_ALLINPUT);
        if (woken != WAIT_OBJECT_0 + 1) break;  // ended, or the wait failed
        if (!HandlePendingMessages()) break;
    }
    CloseHandle(info.hProcess);
}

void Pause(int milliseconds) {
    // Tick differences stay right across the counter's wrap.
    const DWORD start = GetTickCount();
    const DWORD span = static_cast<DWORD>(milliseconds > 0 ? milliseconds : 0);
    for (DWORD passed = 0; passed < span; passed = GetTickCount() - start) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, span - passed, QS_ALLINPUT);
        if (!HandlePendingMessages()) return;
    }
}

bool IsProcessRunning(const std::string& name) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    const std::string wanted = Upper(name);
    bool found = false;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        const std::string exe = Upper(entry.szExeFile);
        const std::size_t slash = exe.find_last_of('\\');
        if (exe == wanted || exe.substr(slash == std::string::npos ? 0 : slash + 1) == wanted) {
            found = true;
        }
    }
    CloseHandle(snapshot);
    return found;
}

bool CopyFiles(const std::string& source, const std::string& destination) {
    std::string from = source;
    from.push_back('\0');  // a list of one, ended by a second NUL
    std::string to = destination;
    to.push_back('\0');
    SHFILEOPSTRUCTA operation = {};
    operation.wFunc = FO_COPY;
    operation.pFrom = from.c_str();
    operation.pTo = to.c_str();
    operation.fFlags = FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;
    return SHFileOperationA(&operation) == 0 && !operation.fAnyOperationsAborted;
}

std::string SpecialFolderPath(int folder) {
    char path[MAX_PATH + 1] = {};
    if (FAILED(SHGetFolderPathA(nullptr, folder, nullptr, 0, path))) return {};
    return path;
}

std::optional<std::string> WindowsDirectory() {
    char path[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::nullopt;
    return std::string(path, length);
}

std::string RegistryObjectName(HKEY root, const std::string& path) {
    if (root == HKEY_CLASSES_ROOT) return "CLASSES_ROOT\\" + path;
    if (root == HKEY_CURRENT_USER) return "CURRENT_USER\\" + path;
    if (root == HKEY_LOCAL_MACHINE) return "MACHINE\\" + path;
    if (root == HKEY_USERS) return "USERS\\" + path;
    return path;
}

bool GrantRegistryKeyAccess(HKEY root, const std::string& path) {
    std::wstring name = Wide(RegistryObjectName(root, path));
    return SetNamedSecurityInfoW(name.data(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr,
                                 nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool DeleteProtectedKey(const std::string& path) {
    std::wstring name = Wide(RegistryObjectName(HKEY_LOCAL_MACHINE, path));
    PACL former = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const bool saved =
        GetNamedSecurityInfoW(name.data(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &former, nullptr, &descriptor) == ERROR_SUCCESS;
    const bool opened = GrantRegistryKeyAccess(HKEY_LOCAL_MACHINE, path);
    const bool deleted = RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str()) == ERROR_SUCCESS;
    if (!deleted && opened && saved) {
        SetNamedSecurityInfoW(name.data(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, former, nullptr);
    }
    if (descriptor) LocalFree(descriptor);
    return deleted;
}

}  // namespace installer
