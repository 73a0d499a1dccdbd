#include "detection.h"

#include "versions.h"

namespace installer {
namespace {

constexpr char kRuntimeKeyPrefix[] = "Software\\Orvanex\\Lumavise Run-Time\\";

// The display names (and versions) of every uninstall entry of one view, kept
// index-parallel with the subkeys.
struct UninstallEntries {
    bool opened = false;
    std::vector<std::string> subkeys;
    std::vector<std::string> names;
    std::vector<std::string> versions;
};

UninstallEntries ReadUninstallEntries(SystemInterface& system, RegistryView view) {
    UninstallEntries entries;
    auto subkeys = system.RegistrySubkeys(view, kUninstallKey);
    if (!subkeys) return entries;
    entries.opened = true;
    entries.subkeys = std::move(*subkeys);
    for (const std::string& subkey : entries.subkeys) {
        const std::string path = std::string(kUninstallKey) + "\\" + subkey;
        // Only plain strings count; an entry that does not open reads as empty and "0".
        const RegistryValue name = system.ReadRegistryValue(view, path, "DisplayName");
        entries.names.push_back(name.type == RegistryType::String ? name.text : std::string());
        const RegistryValue version = system.ReadRegistryValue(view, path, "DisplayVersion");
        entries.versions.push_back(version.type == RegistryType::String ? version.text : "0");
    }
    return entries;
}

bool RuntimeCurrent(SystemInterface& system, const InstallerConfig& config) {
    const RegistryValue version = system.ReadRegistryValue(
        RegistryView::Native32, kRuntimeKeyPrefix + config.lmrt.subkey, "Version");
    return version.keyOpened && !version.text.empty() &&
           RuntimeVersionSatisfies(version.text, config.lmrt.versionRequired);
}

// The name of the kit's folder, or of its volume when the kit is a drive root.
std::string KitLabel(SystemInterface& system, const std::string& kitFolder) {
    if (kitFolder.size() > 3) {
        std::string folder = kitFolder;
        if (folder.back() == '\\') folder.pop_back();
        const std::size_t separator = folder.find_last_of('\\');
        return separator == std::string::npos ? folder : folder.substr(separator + 1);
    }
    return kitFolder.empty() ? std::string() : system.VolumeLabel(kitFolder.front());
}

void DetectAvailableVersion(SystemInterface& system, const InstallerConfig& config,
                            Detection& detection) {
    InstallState& state = detection.install;
    const auto fromDatabase =
        system.DatabaseProductVersion(config.kitFolder + config.app.msiPackageName);
    if (fromDatabase) {
        state.availableVersionText = *fromDatabase;
        state.availableVersionNumber = VersionNumber(*fromDatabase);
        state.availableVersionKnown = state.availableVersionNumber > 0;
    } else {
        std::string label = KitLabel(system, config.kitFolder);
        std::erase(label, '.');
        const FirstNumber number = ParseFirstNumber(label);
        state.availableVersionKnown = number.found;
        // Digits without the dots and unpadded: "2.9.1" in a name gives 291.
        state.availableVersionNumber = number.value;
        state.availableVersionText = number.found ? VersionFromDigits(number.value) : "";
    }
    detection.labelWarning = !state.availableVersionKnown;
}

void DetectApplication(SystemInterface& system, InstallerConfig& config,
                       const UninstallEntries& entries, InstallState& state) {
    const int index = FindDisplayName(entries.names, config.app.installDisplayName);
    if (index < 0) return;
    state.applicationInstalled = true;
    state.applicationUninstallKey = std::string(kUninstallKey) + "\\" + entries.subkeys[index];
    state.installedVersionText = entries.versions[index];
    const RegistryValue command = system.ReadRegistryValue(
        RegistryView::Native32, state.applicationUninstallKey, "UninstallString");
    if (!command.keyOpened) {
        state.uninstallCommand.clear();
        return;
    }
    state.uninstallCommand = command.text;
    const RegistryValue location = system.ReadRegistryValue(
        RegistryView::Native32, state.applicationUninstallKey, "InstallLocation");
    if (!location.text.empty()) config.installLocation = location.text;
}

// The subkeys of `path` with one string value of each ("" where missing).
struct NamedValues {
    std::vector<std::string> subkeys;
    std::vector<std::string> values;
};

NamedValues SubkeyValues(SystemInterface& system, const std::string& path, const char* name) {
    NamedValues list;
    auto subkeys = system.RegistrySubkeys(RegistryView::Native32, path);
    if (!subkeys) return list;
    list.subkeys = std::move(*subkeys);
    for (const std::string& subkey : list.subkeys) {
        list.values.push_back(
            system.ReadRegistryValue(RegistryView::Native32, path + "\\" + subkey, name).text);
    }
    return list;
}

void DetectLegacyDriver(SystemInterface& system, const SystemFacts& facts, InstallState& state) {
    state.legacyDeviceKey = kLegacyDeviceKey;
    const NamedValues classes = SubkeyValues(system, kClassKey, "Class");
    const int usb = FindDisplayName(classes.values, "USB");
    if (usb >= 0) {
        state.legacyUsbClassKey = std::string(kClassKey) + "\\" + classes.subkeys[usb];
        const NamedValues providers = SubkeyValues(system, state.legacyUsbClassKey, "ProviderName");
        for (std::size_t i = 0; i < providers.subkeys.size(); ++i) {
            if (providers.values[i] != "Tarvano") continue;
            const std::string instance = state.legacyUsbClassKey + "\\" + providers.subkeys[i];
            const std::string version =
                system.ReadRegistryValue(RegistryView::Native32, instance, "DriverVersion").text;
            if (version != "2.0.0.0" && version != "2.11.0.0") continue;
            state.legacyDriverEntries.push_back(providers.subkeys[i]);
            state.legacyInfFiles.push_back(
                system.ReadRegistryValue(RegistryView::Native32, instance, "InfPath").text);
        }
    }
    const NamedValues devices = SubkeyValues(system, kLegacyDeviceKey, "DeviceDesc");
    for (std::size_t i = 0; i < devices.subkeys.size(); ++i) {
        if (devices.values[i].find("TQ510A Mixed Signal Oscilloscope") != std::string::npos) {
            state.legacyDeviceInstances.push_back(devices.subkeys[i]);
        }
    }
    state.legacyDriverFound =
        !state.legacyDriverEntries.empty() || !state.legacyDeviceInstances.empty();
    if (facts.windowsMajorVersion > 5) state.legacyDriverFound = false;
}

}  // namespace

int FindDisplayName(const std::vector<std::string>& names, const std::string& wanted) {
    if (wanted.empty()) return -1;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (EqualsIgnoreCase(names[i], wanted)) return static_cast<int>(i);
    }
    return -1;
}

std::string TQ510ADriverPackageName(SystemInterface& system, const std::string& infPath) {
    const auto field = [&](const char* key) {
        const StrippedText value =
            StripPercentMarks(system.ReadProfileString(infPath, "Version", key));
        return value.stripped ? system.ReadProfileString(infPath, "Strings", value.text)
                              : value.text;
    };
    const std::string provider = field("Provider");
    const std::string displayName = field("DriverPackageDisplayName");
    std::string driverVer = field("DriverVer");
    for (char& c : driverVer) {
        if (c == ',') c = ' ';
    }
    return "Windows Driver Package - " + provider + " " + displayName + " (" + driverVer + ")";
}

SourceState DetectSources(SystemInterface& system, const InstallerConfig& config) {
    SourceState source;
    source.tq510aDriverPresent = system.DirectoryExists(config.tq510aDriverFolder) &&
                                 system.FileExists(config.tq510aInfPath);
    source.tq510DriverPresent =
        system.DirectoryExists(config.tq510DriverFolder) && system.FileExists(config.tq510InfPath);
    source.visaPresent =
        system.DirectoryExists(config.visaFolder) && !config.visa.runRelativePath.empty();
    source.runtimeInstallerPresent =
        system.FileExists(WithTrailingBackslash(config.lmrtFolder) + config.lmrt.runFile);
    source.applicationInstallerPresent =
        system.FileExists(config.appFolder + "\\" + config.app.runFile) &&
        system.FileExists(config.kitFolder + config.app.msiPackageName);
    source.applicationUpdateAvailable =
        config.kind == InstallerKind::Standard
            ? system.DirectoryExists(config.updateFolder) && !config.app.updateRelativePath.empty()
            : source.applicationInstallerPresent;
    return source;
}

bool ApplicationNeedsUpdate(const InstallState& state) {
    if (!state.applicationInstalled) return false;
    if (!state.availableVersionKnown) return true;
    return VersionNumber(state.installedVersionText) < state.availableVersionNumber;
}

Detection DetectInstalledState(SystemInterface& system, InstallerConfig& config,
                               const SystemFacts& facts) {
    Detection detection;
    InstallState& state = detection.install;
    state.runtimeCurrent = RuntimeCurrent(system, config);
    DetectAvailableVersion(system, config, detection);
    const std::string tq510aName = TQ510ADriverPackageName(system, config.tq510aInfPath);

    state.installedVersionText = kNotInstalledText;
    const UninstallEntries native = ReadUninstallEntries(system, RegistryView::Native32);
    if (native.opened) {
        DetectApplication(system, config, native, state);
        state.visaInstalled = FindDisplayName(native.names, config.visa.visaName) >= 0 ||
                              FindVisaAtLeast(native.names, config.visa.visaName);
        state.tq510DriverInstalled = FindDisplayName(native.names, config.tq510.driverName) >= 0;
        state.tq510aDriverInstalled = FindDisplayName(native.names, tq510aName) >= 0;
    }
    // Drivers install into the native registry of a 64-bit system; the
    // application and OX-VISA are 32-bit programs and are not looked for there.
    if (facts.Is64Bit()) {
        const UninstallEntries wide = ReadUninstallEntries(system, RegistryView::Wow64_64);
        if (FindDisplayName(wide.names, config.tq510.driverName) >= 0) {
            state.tq510DriverInstalled = true;
        }
        if (FindDisplayName(wide.names, tq510aName) >= 0) state.tq510aDriverInstalled = true;
    }
    DetectLegacyDriver(system, facts, state);
    detection.source = DetectSources(system, config);
    state.applicationNeedsUpdate = ApplicationNeedsUpdate(state);
    return detection;
}

}  // namespace installer
