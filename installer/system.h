#pragma once
// The Windows facilities the installer reads its world through. The Win32
// implementation (win32_system.h) is the real one; tests substitute a fake, so
// the configuration and detection logic builds and runs on any platform.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace installer {

// Capacities of the text buffers the facilities fill. Longer texts are cut to
// these lengths (a terminating NUL is not counted), never overflowing.
inline constexpr std::size_t kProfileValueLimit = 2047;  // one INI value
inline constexpr std::size_t kRegistryTextLimit = 4095;  // one registry string
inline constexpr std::size_t kShortTextLimit = 260;      // the 261-character buffers
inline constexpr std::size_t kRegistryNameLimit = 255;   // a subkey name

// Which registry a 32-bit process looks at: its own (redirected) view, or the
// native 64-bit one (KEY_WOW64_64KEY) on a 64-bit system.
enum class RegistryView { Native32, Wow64_64 };

enum class RegistryType { None, String, ExpandString, Other };

// One value read from a key below HKEY_LOCAL_MACHINE.
struct RegistryValue {
    bool keyOpened = false;                  // the key opened read-only
    RegistryType type = RegistryType::None;  // None: the key or the value is missing
    std::string text;                        // the string for String and ExpandString, else empty
};

class SystemInterface {
  public:
    virtual ~SystemInterface() = default;

    // Full path of the running executable.
    virtual std::string ExecutablePath() = 0;

    // A private-profile (INI) value; a missing file, section or key gives "".
    virtual std::string ReadProfileString(const std::string& file, const std::string& section,
                                          const std::string& key) = 0;

    // The value `name` of HKLM `path` in `view`, the key opened read-only.
    virtual RegistryValue ReadRegistryValue(RegistryView view, const std::string& path,
                                            const std::string& name) = 0;

    // The subkey names of HKLM `path` in enumeration order; nullopt when the
    // key does not open.
    virtual std::optional<std::vector<std::string>> RegistrySubkeys(RegistryView view,
                                                                    const std::string& path) = 0;

    // The "ProductVersion" property of an installer database opened read-only;
    // nullopt when opening, the query or the fetch fails.
    virtual std::optional<std::string> DatabaseProductVersion(const std::string& path) = 0;

    // The label of the volume whose root is `letter`:\ ; "" on any failure.
    virtual std::string VolumeLabel(char letter) = 0;

    // The four numbers of a file's fixed version information; nullopt when the
    // file carries no version resource.
    virtual std::optional<std::array<std::uint16_t, 4>> FileVersion(const std::string& path) = 0;

    // The per-user local application-data folder; "" on failure.
    virtual std::string LocalAppDataFolder() = 0;

    virtual bool DirectoryExists(const std::string& path) = 0;
    // True only for a file, never for a folder.
    virtual bool FileExists(const std::string& path) = 0;

    // Changes of the machine, used by the install sequence only; listed here
    // so that a fake can prove that reading the state never calls them.
    virtual bool DeleteRegistryTree(const std::string& path) = 0;
    virtual bool DeleteFileAt(const std::string& path) = 0;
};

// Text from a filled fixed-size buffer: up to the first NUL, at most
// `capacity` characters, so a buffer without its terminator is still read safely.
std::string BoundedText(const char* buffer, std::size_t capacity);

}  // namespace installer
