#pragma once
// The installer's configuration: the INI file beside the executable, the kind
// of kit it selects, the facts about the running system read with it, and the
// folder paths derived from both.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "system.h"

namespace installer {

inline constexpr char kIniVersionWarning[] =
    "Tarvano Installer INI version error. The File is either out-of-date or corrupted.\r\r"
    "Contact Tarvano or your supplier.";

// The numbers give only an order.
enum class InstallerKind : int { Standard = 0, Update = 1, FullInstall = 2 };

// "fullinstall" and "update" in any case; anything else, the empty text and
// texts with surrounding blanks included, is a Standard kit.
InstallerKind ParseInstallerKind(std::string_view installerType);

struct SystemFacts {
    std::int32_t windowsMajorVersion = -1;  // -1 when unreadable: the "XP" entries apply
    std::string processorArchitecture;
    std::string programFilesFolder;
    std::string localAppDataFolder;

    // "amd64" or "ia64" in any case.
    bool Is64Bit() const;
    // The lower-cased architecture, the driver installers' working subfolder.
    std::string ArchitectureFolder() const;
};

struct InstallerConfig {
    std::string iniPath;
    std::string kitFolder;  // the executable's folder, with a trailing backslash
    std::string iniVersion;
    InstallerKind kind = InstallerKind::Standard;
    std::string urlUpdate;
    std::string urlFullInstall;
    std::string sizeFullInstall;

    struct {
        std::string runRelativePath, runFile, runParametersXP, runParametersVista;
        std::string infXPRelativePath, infVistaRelativePath;
    } tq510a;
    struct {
        std::string runRelativePath, runFile, runParameters, driverName, infRelativePath;
    } tq510;
    struct {
        std::string runRelativePath, runFile32, runParameters32, runFile64, runParameters64;
        std::string visaName;
    } visa;
    struct {
        std::string runRelativePath, runFile, runParameters, url, subkey, versionRequired;
    } lmrt;
    struct {
        std::string runRelativePath, runFile, runParameters, installFolder, installDisplayName;
        std::string processExeFileName, msiPackageName, updateRelativePath;
        std::string updateCabRelativePath, updateCabFile, updateNotesFileName;
    } app;

    // Derived from the keys above and the system facts.
    std::string tq510aDriverFolder, tq510DriverFolder, visaFolder, lmrtFolder, appFolder;
    std::string updateFolder, cabFolder, tq510InfPath, tq510aInfPath;
    std::string virtualStoreFolder;
    // The one field that changes later: detection and the user's choice replace it.
    std::string installLocation;

    bool RuntimeSettingsPresent() const;
};

struct LoadedConfiguration {
    InstallerConfig config;
    SystemFacts facts;
    std::string fileVersionText;  // the executable's own version, "" without one
    bool versionWarning = false;  // the INI "Version" differs from fileVersionText
};

// "%d.%d.%d.%d" of a fixed file version; "" without a version resource.
std::string FileVersionText(const std::optional<std::array<std::uint16_t, 4>>& version);

// Reads the INI file and the system facts and derives the paths. Never fails:
// whatever is missing reads as empty text. Writes nothing.
LoadedConfiguration LoadConfiguration(SystemInterface& system);

// Separate steps of LoadConfiguration, for callers that have the parts.
SystemFacts ReadSystemFacts(SystemInterface& system);
void DerivePaths(InstallerConfig& config, const SystemFacts& facts);

// "a\b\c.exe" -> "a\b\c.ini"; "a\b\c.exe" -> "c"; "a\b\c.exe" -> "a\b\".
std::string ReplaceExtension(std::string_view path, std::string_view extension);
std::string BaseNameWithoutExtension(std::string_view path);
std::string FolderOf(std::string_view path);
std::string WithTrailingBackslash(std::string_view folder);

}  // namespace installer
