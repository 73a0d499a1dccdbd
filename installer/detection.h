#pragma once
// What is installed on this computer and what the kit carries. Detection only
// reads: it never writes to the registry or the disk.

#include <cstdint>
#include <string>
#include <vector>

#include "config.h"
#include "system.h"

namespace installer {

inline constexpr char kLabelWarning[] =
    "Tarvano Installer CD or folder label error. The Tarvano Installer was not able to determine "
    "the included application version.";
inline constexpr char kNotInstalledText[] = "Not installed";
inline constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr char kClassKey[] = "System\\CurrentControlSet\\Control\\Class";
inline constexpr char kLegacyDeviceKey[] =
    "System\\CurrentControlSet\\Enum\\USB\\Vid_0fbb&Pid_8008";

struct InstallState {
    bool runtimeCurrent = false;
    bool availableVersionKnown = false;
    std::string availableVersionText;
    std::int32_t availableVersionNumber = 0;
    bool applicationInstalled = false;
    std::string installedVersionText;
    std::string applicationUninstallKey;
    std::string uninstallCommand;
    bool applicationNeedsUpdate = false;
    bool visaInstalled = false;
    bool tq510DriverInstalled = false;
    bool tq510aDriverInstalled = false;
    bool legacyDriverFound = false;
    std::vector<std::string> legacyDriverEntries;
    std::vector<std::string> legacyInfFiles;  // in step with legacyDriverEntries
    std::string legacyUsbClassKey;
    std::vector<std::string> legacyDeviceInstances;
    std::string legacyDeviceKey;
};

struct SourceState {
    bool tq510aDriverPresent = false;
    bool tq510DriverPresent = false;
    bool visaPresent = false;
    bool runtimeInstallerPresent = false;
    bool applicationInstallerPresent = false;
    bool applicationUpdateAvailable = false;
};

struct Detection {
    InstallState install;
    SourceState source;
    bool labelWarning = false;  // show kLabelWarning: the kit's version stayed unknown
};

// Runs every detection step in order. May replace config.installLocation by
// the installed application's "InstallLocation".
Detection DetectInstalledState(SystemInterface& system, InstallerConfig& config,
                               const SystemFacts& facts);

// The uninstall display name the kit's TQ510A driver package installs under,
// from its INF file.
std::string TQ510ADriverPackageName(SystemInterface& system, const std::string& infPath);

// The kit's source presence, from the configuration and the file system.
SourceState DetectSources(SystemInterface& system, const InstallerConfig& config);

// Installed but older than the kit, or installed with the kit's version unknown.
bool ApplicationNeedsUpdate(const InstallState& state);

// Index of the first name equal to `wanted` ignoring case, or -1. An empty
// `wanted` matches nothing: entries without a display name read as empty.
int FindDisplayName(const std::vector<std::string>& names, const std::string& wanted);

}  // namespace installer
