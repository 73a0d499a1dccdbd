#include "win32_system.h"

// clang-format off
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <shlobj.h>
#include <shlwapi.h>
// clang-format on

#include <algorithm>

#include "win32_helpers.h"

namespace installer {
namespace {

constexpr char kProductVersionQuery[] =
    "SELECT Value FROM Property WHERE Property='ProductVersion'";

// A registry key opened read-only, closed when it goes out of scope.
class ReadOnlyKey {
  public:
    ReadOnlyKey(RegistryView view, const std::string& path) {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, ViewAccess(view, KEY_READ), &key_) !=
            ERROR_SUCCESS) {
            key_ = nullptr;
        }
    }
    ~ReadOnlyKey() {
        if (key_) RegCloseKey(key_);
    }
    ReadOnlyKey(const ReadOnlyKey&) = delete;
    ReadOnlyKey& operator=(const ReadOnlyKey&) = delete;
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

// An installer-database handle, closed when it goes out of scope.
class MsiHandle {
  public:
    MsiHandle() = default;
    ~MsiHandle() {
        if (handle_) MsiCloseHandle(handle_);
    }
    MsiHandle(const MsiHandle&) = delete;
    MsiHandle& operator=(const MsiHandle&) = delete;
    MSIHANDLE* out() { return &handle_; }
    MSIHANDLE get() const { return handle_; }

  private:
    MSIHANDLE handle_ = 0;
};

RegistryType TypeOf(DWORD type) {
    switch (type) {
        case REG_SZ:
            return RegistryType::String;
        case REG_EXPAND_SZ:
            return RegistryType::ExpandString;
        default:
            return RegistryType::Other;
    }
}

}  // namespace

std::string Win32System::ExecutablePath() {
    std::vector<char> path(32768);
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) return {};
    return std::string(path.data(), length);
}

std::string Win32System::ReadProfileString(const std::string& file, const std::string& section,
                                           const std::string& key) {
    char value[kProfileValueLimit + 1];
    // The function cuts a longer value to the buffer and always terminates it.
    GetPrivateProfileStringA(section.c_str(), key.c_str(), "", value, sizeof value, file.c_str());
    return BoundedText(value, kProfileValueLimit);
}

RegistryValue Win32System::ReadRegistryValue(RegistryView view, const std::string& path,
                                             const std::string& name) {
    RegistryValue value;
    const ReadOnlyKey key(view, path);
    if (!key.get()) return value;
    value.keyOpened = true;
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
        return value;
    }
    value.type = TypeOf(type);
    if (value.type == RegistryType::Other) return value;
    // Room for the whole value plus a terminator the stored data may lack; the
    // text is then cut to the limit.
    std::vector<char> data(static_cast<std::size_t>(size) + 1, '\0');
    DWORD read = size;
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &read) != ERROR_SUCCESS) {
        return value;  // changed in between: read as empty
    }
    value.text = BoundedText(data.data(), std::min<std::size_t>(read, kRegistryTextLimit));
    return value;
}

std::optional<std::vector<std::string>> Win32System::RegistrySubkeys(RegistryView view,
                                                                     const std::string& path) {
    const ReadOnlyKey key(view, path);
    if (!key.get()) return std::nullopt;
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char name[kRegistryNameLimit + 1];
        DWORD length = sizeof name;
        const LONG status =
            RegEnumKeyExA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) break;
        names.push_back(BoundedText(name, std::min<std::size_t>(length, kRegistryNameLimit)));
    }
    return names;
}

std::optional<std::string> Win32System::DatabaseProductVersion(const std::string& path) {
    MsiHandle database, view, record;
    if (MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_READONLY, database.out()) != ERROR_SUCCESS ||
        MsiDatabaseOpenViewA(database.get(), kProductVersionQuery, view.out()) != ERROR_SUCCESS ||
        MsiViewExecute(view.get(), 0) != ERROR_SUCCESS ||
        MsiViewFetch(view.get(), record.out()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    char value[kShortTextLimit + 1] = {};
    DWORD size = sizeof value;
    // A longer value comes back cut to the buffer, terminated.
    MsiRecordGetStringA(record.get(), 1, value, &size);
    if (view.get()) MsiViewClose(view.get());
    return BoundedText(value, kShortTextLimit);
}

std::string Win32System::VolumeLabel(char letter) {
    const char root[] = {letter, ':', '\\', '\0'};
    char label[kShortTextLimit + 1] = {};
    if (!GetVolumeInformationA(root, label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0)) {
        return {};
    }
    return BoundedText(label, kShortTextLimit);
}

std::optional<std::array<std::uint16_t, 4>> Win32System::FileVersion(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return std::nullopt;
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data())) return std::nullopt;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof(VS_FIXEDFILEINFO)) {
        return std::nullopt;
    }
    return std::array<std::uint16_t, 4>{
        HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS), HIWORD(info->dwFileVersionLS),
        LOWORD(info->dwFileVersionLS)};
}

std::string Win32System::LocalAppDataFolder() {
    char folder[kShortTextLimit + 1] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, folder))) return {};
    return BoundedText(folder, kShortTextLimit);
}

bool Win32System::DirectoryExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32System::FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32System::DeleteRegistryTree(const std::string& path) {
    return SHDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str()) == ERROR_SUCCESS;
}

bool Win32System::DeleteFileAt(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

}  // namespace installer
