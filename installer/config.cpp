#include "config.h"

#include <cstdio>

#include "versions.h"

namespace installer {
namespace {

constexpr char kWindowsNtKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion";
constexpr char kEnvironmentKey[] =
    "System\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr char kWindowsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";

// Position of the extension's dot in the last path component, or npos.
std::size_t ExtensionDot(std::string_view path) {
    const std::size_t dot = path.find_last_of(".\\/:");
    return (dot != std::string_view::npos && path[dot] == '.') ? dot : std::string_view::npos;
}

std::size_t NameStart(std::string_view path) {
    const std::size_t separator = path.find_last_of("\\/:");
    return separator == std::string_view::npos ? 0 : separator + 1;
}

std::string ReadFact(SystemInterface& system, const char* key, const char* value) {
    return system.ReadRegistryValue(RegistryView::Native32, key, value).text;
}

}  // namespace

std::string ReplaceExtension(std::string_view path, std::string_view extension) {
    return std::string(path.substr(0, ExtensionDot(path))) + std::string(extension);
}

std::string BaseNameWithoutExtension(std::string_view path) {
    const std::string_view stem = path.substr(0, ExtensionDot(path));
    return std::string(stem.substr(NameStart(stem)));
}

std::string FolderOf(std::string_view path) { return std::string(path.substr(0, NameStart(path))); }

std::string WithTrailingBackslash(std::string_view folder) {
    std::string text(folder);
    if (text.empty() || text.back() != '\\') text += '\\';
    return text;
}

InstallerKind ParseInstallerKind(std::string_view installerType) {
    const std::string lower = ToLowerAscii(installerType);
    if (lower == "fullinstall") return InstallerKind::FullInstall;
    if (lower == "update") return InstallerKind::Update;
    return InstallerKind::Standard;
}

bool SystemFacts::Is64Bit() const {
    const std::string lower = ArchitectureFolder();
    return lower == "amd64" || lower == "ia64";
}

std::string SystemFacts::ArchitectureFolder() const { return ToLowerAscii(processorArchitecture); }

bool InstallerConfig::RuntimeSettingsPresent() const {
    return !lmrt.subkey.empty() && !lmrt.versionRequired.empty();
}

std::string FileVersionText(const std::optional<std::array<std::uint16_t, 4>>& version) {
    if (!version) return {};
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", (*version)[0], (*version)[1], (*version)[2],
                  (*version)[3]);
    return text;
}

SystemFacts ReadSystemFacts(SystemInterface& system) {
    SystemFacts facts;
    facts.windowsMajorVersion =
        ParseFirstNumber(ReadFact(system, kWindowsNtKey, "CurrentVersion")).value;
    facts.processorArchitecture = ReadFact(system, kEnvironmentKey, "PROCESSOR_ARCHITECTURE");
    facts.programFilesFolder = ReadFact(system, kWindowsKey, "ProgramFilesDir");
    facts.localAppDataFolder = system.LocalAppDataFolder();
    return facts;
}

void DerivePaths(InstallerConfig& config, const SystemFacts& facts) {
    // Relative paths are appended as they stand: a leading backslash doubles
    // the separator, which the file functions accept.
    const std::string& kit = config.kitFolder;
    config.tq510aDriverFolder = kit + config.tq510a.runRelativePath;
    config.tq510DriverFolder = kit + config.tq510.runRelativePath;
    config.visaFolder = kit + config.visa.runRelativePath;
    config.lmrtFolder = kit + config.lmrt.runRelativePath;
    config.appFolder = kit + config.app.runRelativePath;
    config.updateFolder = kit + config.app.updateRelativePath;
    config.cabFolder = kit + config.app.updateCabRelativePath;
    config.tq510InfPath = kit + config.tq510.infRelativePath;
    config.tq510aInfPath =
        kit + (facts.windowsMajorVersion < 6 ? config.tq510a.infXPRelativePath
                                             : config.tq510a.infVistaRelativePath);
    config.installLocation =
        WithTrailingBackslash(facts.programFilesFolder) + config.app.installFolder;
    config.virtualStoreFolder = facts.localAppDataFolder +
                                (facts.Is64Bit() ? "\\VirtualStore\\Program Files (x86)\\"
                                                 : "\\VirtualStore\\Program Files\\") +
                                config.app.installFolder;
}

LoadedConfiguration LoadConfiguration(SystemInterface& system) {
    LoadedConfiguration loaded;
    InstallerConfig& c = loaded.config;
    const std::string exe = system.ExecutablePath();
    c.iniPath = ReplaceExtension(exe, ".ini");
    c.kitFolder = FolderOf(exe);
    loaded.fileVersionText = FileVersionText(system.FileVersion(exe));

    const auto read = [&](const char* section, const char* key) {
        return system.ReadProfileString(c.iniPath, section, key);
    };
    c.iniVersion = system.ReadProfileString(c.iniPath, BaseNameWithoutExtension(exe), "Version");
    loaded.versionWarning = c.iniVersion != loaded.fileVersionText;
    c.kind = ParseInstallerKind(read("Setup", "InstallerType"));
    c.urlUpdate = read("Setup", "URLUpdate");
    c.urlFullInstall = read("Setup", "URLFullInstall");
    c.sizeFullInstall = read("Setup", "SizeFullInstall");

    c.tq510a.runRelativePath = read("InstallTQ510ADriver", "RunRelativePath");
    c.tq510a.runFile = read("InstallTQ510ADriver", "RunFile");
    c.tq510a.runParametersXP = read("InstallTQ510ADriver", "RunParametersXP");
    c.tq510a.runParametersVista = read("InstallTQ510ADriver", "RunParametersVista");
    c.tq510a.infXPRelativePath = read("InstallTQ510ADriver", "CDInfDriverXPRelativePath");
    c.tq510a.infVistaRelativePath = read("InstallTQ510ADriver", "CDInfDriverVistaRelativePath");

    c.tq510.runRelativePath = read("InstallTQ510Driver", "RunRelativePath");
    c.tq510.runFile = read("InstallTQ510Driver", "RunFile");
    c.tq510.runParameters = read("InstallTQ510Driver", "RunParameters");
    c.tq510.driverName = read("InstallTQ510Driver", "CDTQ510DriverName");
    c.tq510.infRelativePath = read("InstallTQ510Driver", "CDInfDriverRelativePath");

    c.visa.runRelativePath = read("InstallVISA", "RunRelativePath");
    c.visa.runFile32 = read("InstallVISA", "RunFile32");
    c.visa.runParameters32 = read("InstallVISA", "RunParameters32");
    c.visa.runFile64 = read("InstallVISA", "RunFile64");
    c.visa.runParameters64 = read("InstallVISA", "RunParameters64");
    c.visa.visaName = read("InstallVISA", "CDVISAName");

    c.lmrt.runRelativePath = read("InstallLMRT", "RunRelativePath");
    c.lmrt.runFile = read("InstallLMRT", "RunFile");
    c.lmrt.runParameters = read("InstallLMRT", "RunParameters");
    c.lmrt.url = read("InstallLMRT", "URL");
    c.lmrt.subkey = read("InstallLMRT", "Subkey");
    c.lmrt.versionRequired = read("InstallLMRT", "VersionRequired");

    c.app.runRelativePath = read("InstallTQApp", "RunRelativePath");
    c.app.runFile = read("InstallTQApp", "RunFile");
    c.app.runParameters = read("InstallTQApp", "RunParameters");
    c.app.installFolder = read("InstallTQApp", "InstallFolder");
    c.app.installDisplayName = read("InstallTQApp", "InstallDisplayName");
    c.app.processExeFileName = read("InstallTQApp", "ProcessExeFileName");
    c.app.msiPackageName = read("InstallTQApp", "MSIPackageName");
    c.app.updateRelativePath = read("InstallTQApp", "UpdateRelativePath");
    c.app.updateCabRelativePath = read("InstallTQApp", "UpdateCABRelativePath");
    c.app.updateCabFile = read("InstallTQApp", "UpdateCABFile");
    c.app.updateNotesFileName = read("InstallTQApp", "UpdateNotesFileName");

    loaded.facts = ReadSystemFacts(system);
    DerivePaths(c, loaded.facts);
    return loaded;
}

}  // namespace installer
