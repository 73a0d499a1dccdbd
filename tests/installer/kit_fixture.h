#pragma once
// A complete kit and the registry of a computer, laid out in a FakeSystem.

#include <sstream>
#include <string>

#include "detection.h"
#include "fake_system.h"

namespace installertest {

inline constexpr char kKitFolder[] = "C:\\Kits\\Tarvix 2.9.1\\";
inline constexpr char kExePath[] = "C:\\Kits\\Tarvix 2.9.1\\TarvanoInstaller.exe";
inline constexpr char kIniPath[] = "C:\\Kits\\Tarvix 2.9.1\\TarvanoInstaller.ini";
inline constexpr char kTQ510AName[] =
    "Windows Driver Package - Tarvano TQ510A Oscilloscope (06/01/2010 2.12.0.0)";

// The INI of a kit carrying every item; `extra` is appended (later keys of the
// same name lose, as with the profile functions).
inline std::string KitIni(const std::string& installerType,
                          const std::string& version = "2.9.1.0") {
    return "[TarvanoInstaller]\nVersion=" + version +
           "\n"
           "[Setup]\nInstallerType=" +
           installerType +
           "\nURLUpdate=http://example.invalid/update\n"
           "URLFullInstall=http://example.invalid/full\nSizeFullInstall=310 MB\n"
           "[InstallTQ510ADriver]\nRunRelativePath=Drivers\\TQ510A\nRunFile=dpinst.exe\n"
           "RunParametersXP=/q\nRunParametersVista=/q /lm\n"
           "CDInfDriverXPRelativePath=Drivers\\TQ510A\\xp\\tq510a.inf\n"
           "CDInfDriverVistaRelativePath=Drivers\\TQ510A\\vista\\tq510a.inf\n"
           "[InstallTQ510Driver]\nRunRelativePath=Drivers\\TQ510\nRunFile=setup.exe\n"
           "RunParameters=/s\nCDTQ510DriverName=Tarvano TQ510 Driver\n"
           "CDInfDriverRelativePath=Drivers\\TQ510\\tq510.inf\n"
           "[InstallVISA]\nRunRelativePath=VISA\nRunFile32=visa32.exe\nRunParameters32=/q\n"
           "RunFile64=visa64.exe\nRunParameters64=/q\nCDVISAName=OX-VISA 4.4\n"
           "[InstallLMRT]\nRunRelativePath=LMRT\nRunFile=lmrt.exe\nRunParameters=/q\n"
           "URL=http://example.invalid/lmrt.exe\nSubkey=8.5\nVersionRequired=8.5\n"
           "[InstallTQApp]\nRunRelativePath=App\nRunFile=setup.exe\nRunParameters=/passive\n"
           "InstallFolder=Tarvano\nInstallDisplayName=Tarvano Application\n"
           "ProcessExeFileName=Tarvano.exe\nMSIPackageName=App\\Tarvano.msi\n"
           "UpdateRelativePath=Update\nUpdateCABRelativePath=Update\\cab\n"
           "UpdateCABFile=app.cab\nUpdateNotesFileName=notes.txt\n";
}

inline std::string TQ510AInf() {
    return "[Version]\nSignature=\"$Windows NT$\"\nProvider=%Mfg%\n"
           "DriverPackageDisplayName=%Desc%\nDriverVer=06/01/2010,2.12.0.0\n"
           "[Strings]\nMfg=\"Tarvano\"\nDesc=\"TQ510A Oscilloscope\"\n";
}

// A computer with the given Windows version and architecture, nothing installed.
inline void MakeMachine(FakeSystem& fake, const std::string& windowsVersion,
                        const std::string& architecture) {
    fake.is64BitSystem = architecture == "AMD64";
    fake.exePath = kExePath;
    fake.fileVersion = std::array<std::uint16_t, 4>{2, 9, 1, 0};
    fake.SetValue("Software\\Microsoft\\Windows NT\\CurrentVersion", "CurrentVersion",
                  windowsVersion);
    fake.SetValue("System\\CurrentControlSet\\Control\\Session Manager\\Environment",
                  "PROCESSOR_ARCHITECTURE", architecture);
    fake.SetValue("Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir",
                  fake.is64BitSystem ? "C:\\Program Files (x86)" : "C:\\Program Files");
    fake.AddKey(RegistryView::Native32, installer::kUninstallKey);
    fake.AddKey(RegistryView::Wow64_64, installer::kUninstallKey);
}

// The kit's files: every installer, INF file and the application database.
inline void MakeKit(FakeSystem& fake, const std::string& installerType,
                    const std::string& productVersion = "2.9.1") {
    const std::string kit = kKitFolder;
    fake.AddFile(kIniPath, KitIni(installerType));
    fake.AddFile(kit + "Drivers\\TQ510A\\dpinst.exe");
    fake.AddFile(kit + "Drivers\\TQ510A\\xp\\tq510a.inf", TQ510AInf());
    fake.AddFile(kit + "Drivers\\TQ510A\\vista\\tq510a.inf", TQ510AInf());
    fake.AddFile(kit + "Drivers\\TQ510\\tq510.inf");
    fake.AddFile(kit + "VISA\\visa32.exe");
    fake.AddFile(kit + "LMRT\\lmrt.exe");
    fake.AddFile(kit + "App\\setup.exe");
    fake.AddDatabase(kit + "App\\Tarvano.msi", productVersion);
    fake.AddFile(kit + "Update\\notes.txt");
}

// One uninstall entry.
inline void AddUninstallEntry(FakeSystem& fake, RegistryView view, const std::string& subkey,
                              const std::string& displayName, const std::string& version = "") {
    const std::string path = std::string(installer::kUninstallKey) + "\\" + subkey;
    fake.SetValue(view, path, "DisplayName", displayName);
    if (!version.empty()) fake.SetValue(view, path, "DisplayVersion", version);
}

inline void InstallApplication(FakeSystem& fake, const std::string& version) {
    const std::string path = std::string(installer::kUninstallKey) + "\\{APP-GUID}";
    AddUninstallEntry(fake, RegistryView::Native32, "{APP-GUID}", "Tarvano Application", version);
    fake.SetValue(path, "UninstallString", "MsiExec.exe /X{APP-GUID}");
    fake.SetValue(path, "InstallLocation", "D:\\Tools\\Tarvano\\");
}

inline void InstallRuntime(FakeSystem& fake, const std::string& version) {
    fake.SetValue("Software\\Orvanex\\Lumavise Run-Time\\8.5", "Version", version);
}

// Loads the configuration and detects, as the main window's creation does.
struct Outcome {
    installer::LoadedConfiguration loaded;
    installer::Detection detection;
};
inline Outcome LoadAndDetect(FakeSystem& fake) {
    Outcome outcome{installer::LoadConfiguration(fake), {}};
    outcome.detection =
        installer::DetectInstalledState(fake, outcome.loaded.config, outcome.loaded.facts);
    return outcome;
}

// The decisions of one detection, in one line that a table can state.
inline std::string Summary(const installer::Detection& d) {
    const installer::InstallState& s = d.install;
    std::ostringstream out;
    out << "runtime=" << s.runtimeCurrent << " app=" << s.applicationInstalled
        << " update=" << s.applicationNeedsUpdate << " visa=" << s.visaInstalled
        << " tq510=" << s.tq510DriverInstalled << " tq510a=" << s.tq510aDriverInstalled
        << " legacy=" << s.legacyDriverFound << " | sources=" << d.source.tq510aDriverPresent
        << d.source.tq510DriverPresent << d.source.visaPresent << d.source.runtimeInstallerPresent
        << d.source.applicationInstallerPresent << d.source.applicationUpdateAvailable;
    return out.str();
}

}  // namespace installertest
