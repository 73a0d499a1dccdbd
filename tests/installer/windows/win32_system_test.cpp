// The Win32 system layer and detection end to end on a real (Wine) registry:
// each scenario imports a registry file with regedit, lays out a kit on disk,
// detects, and checks that neither the registry nor the kit changed.

#include <gtest/gtest.h>

// clang-format off
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>
// clang-format on

#include <fstream>

#include "kit_fixture.h"
#include "win32_fixture.h"
#include "win32_helpers.h"
#include "win32_system.h"

namespace installertest {
namespace {

using installer::RegistryType;
using installer::Win32System;

constexpr char kTestKey[] = "Software\\TarvanoInstallerTest";

enum class Depth { NamesOnly, Values, Tree };

// A key as text to compare: its subkey and value names; with Values also the
// value data; with Tree everything below it, depth first.
void Dump(REGSAM view, const std::string& path, Depth depth, std::string& out) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) !=
        ERROR_SUCCESS) {
        return;
    }
    out += "[" + std::to_string(view) + ":" + path + "]\n";
    for (DWORD i = 0;; ++i) {
        static char name[16384];
        static BYTE data[1 << 16];
        DWORD nameLength = sizeof name;
        DWORD type = 0;
        DWORD dataLength = sizeof data;
        const LONG status =
            RegEnumValueA(key, i, name, &nameLength, nullptr, &type, data, &dataLength);
        if (status == ERROR_MORE_DATA) {
            out += "(a value too large to compare)\n";
            continue;
        }
        if (status != ERROR_SUCCESS) break;
        out += std::string(name, nameLength);
        if (depth != Depth::NamesOnly) {
            out += "=" + std::to_string(type) + ":" +
                   std::string(reinterpret_cast<char*>(data), dataLength);
        }
        out += "\n";
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameLength = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        const std::string subkey = path + "\\" + std::string(name, nameLength);
        if (depth == Depth::Tree) {
            Dump(view, subkey, depth, out);
        } else {
            out += "[" + subkey + "]\n";
        }
    }
    RegCloseKey(key);
}

// What detection could change, in both views: everything below the keys it
// reads, the values of the keys it reads values from, and the names directly
// below the roots of those paths, where a write to a wrong path would show. The
// rest of the registry is left out; it is large, and Wine itself rewrites parts
// of it while the test runs (the network cards below Windows NT\CurrentVersion).
std::string RegistryState() {
    struct Part {
        const char* path;
        Depth depth;
    } constexpr parts[] = {
        {"Software\\Orvanex", Depth::Tree},
        {installer::kUninstallKey, Depth::Tree},
        {installer::kClassKey, Depth::Tree},
        {"System\\CurrentControlSet\\Enum\\USB", Depth::Tree},
        {"Software\\Microsoft\\Windows NT\\CurrentVersion", Depth::Values},
        {"System\\CurrentControlSet\\Control\\Session Manager\\Environment", Depth::Values},
        {"Software", Depth::NamesOnly},
        {"Software\\Microsoft\\Windows\\CurrentVersion", Depth::NamesOnly},
        {"System\\CurrentControlSet\\Control", Depth::NamesOnly},
        {"System\\CurrentControlSet\\Enum", Depth::NamesOnly},
    };
    std::string state;
    for (REGSAM view : kViews) {
        for (const Part& part : parts) Dump(view, part.path, part.depth, state);
    }
    return state;
}

// Every file below a folder with its size and time.
std::string FolderState(const std::string& folder) {
    std::string state;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return state;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        state += folder + name + " " + std::to_string(found.nFileSizeLow) + " " +
                 std::to_string(found.ftLastWriteTime.dwLowDateTime) + "\n";
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            state += FolderState(folder + name + "\\");
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return state;
}

bool Is64BitPrefix() {
#ifdef _WIN64
    return true;  // a 64-bit program runs on a 64-bit system only
#else
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

class Win32Layer : public ::testing::Test {
  protected:
    void TearDown() override {
        for (const char* key :
             {kTestKey, "Software\\Orvanex",
              "System\\CurrentControlSet\\Enum\\USB\\Vid_0fbb&Pid_8008",
              "System\\CurrentControlSet\\Control\\Class\\{00000000-0000-TQ-TEST-USB}"}) {
            DeleteTree(key);
        }
        for (const char* entry : {"TQAPP", "TQVISA", "TQ510", "TQ510A"}) {
            DeleteTree(std::string(installer::kUninstallKey) + "\\" + entry);
        }
    }
    TempFolder folder_;
    Win32System system_;
};

TEST_F(Win32Layer, ReadsRegistryValuesByTypeAndCutsOverLongStrings) {
    const std::string huge(10000, 'r');
    ImportRegistry(folder_, RegKey(kTestKey, {{"Plain", Quoted("C:\\Program Files")},
                                              {"Expand", "hex(2):25,54,25,00"},
                                              {"Number", "dword:00000007"},
                                              {"Huge", Quoted(huge)}}) +
                                RegKey(std::string(kTestKey) + "\\b", {}) +
                                RegKey(std::string(kTestKey) + "\\a", {}));
    // A string stored without its terminating NUL.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_SET_VALUE | kViews[0], &key),
              ERROR_SUCCESS)
        << "the registry file was not imported";
    RegSetValueExA(key, "Unterminated", 0, REG_SZ, reinterpret_cast<const BYTE*>("AB"), 2);
    RegCloseKey(key);
    const auto read = [&](const char* name) {
        return system_.ReadRegistryValue(installer::RegistryView::Native32, kTestKey, name);
    };
    ASSERT_TRUE(read("Plain").keyOpened) << "the registry file was not imported";
    EXPECT_EQ(read("Plain").type, RegistryType::String);
    EXPECT_EQ(read("Plain").text, "C:\\Program Files");
    EXPECT_EQ(read("Expand").type, RegistryType::ExpandString);
    EXPECT_EQ(read("Expand").text, "%T%");
    EXPECT_EQ(read("Number").type, RegistryType::Other);
    EXPECT_EQ(read("Number").text, "");
    EXPECT_EQ(read("Unterminated").text, "AB");
    EXPECT_EQ(read("Huge").text, huge.substr(0, installer::kRegistryTextLimit));
    EXPECT_EQ(read("Missing").type, RegistryType::None);
    EXPECT_TRUE(read("Missing").keyOpened);
    EXPECT_FALSE(system_
                     .ReadRegistryValue(installer::RegistryView::Native32,
                                        std::string(kTestKey) + "\\none", "Plain")
                     .keyOpened);
    EXPECT_EQ(system_.RegistrySubkeys(installer::RegistryView::Native32, kTestKey),
              (std::vector<std::string>{"a", "b"}));
    EXPECT_FALSE(system_.RegistrySubkeys(installer::RegistryView::Native32,
                                         std::string(kTestKey) + "\\none"));
}

TEST_F(Win32Layer, ReadsProfileFilesAsTheNativeReaderDoes) {
    const std::string ini = folder_.path() + "kit.ini";
    const std::string huge(5000, 'v');
    WriteFile(ini, "[Setup]\r\nInstallerType=\" update\"\r\nURLUpdate=" + huge +
                       "\r\nSizeFullInstall=  310 MB  \r\n");
    EXPECT_EQ(system_.ReadProfileString(ini, "setup", "installertype"), " update");
    EXPECT_EQ(system_.ReadProfileString(ini, "Setup", "URLUpdate"),
              huge.substr(0, installer::kProfileValueLimit));
    EXPECT_EQ(system_.ReadProfileString(ini, "Setup", "SizeFullInstall"), "310 MB");
    EXPECT_EQ(system_.ReadProfileString(ini, "Setup", "Missing"), "");
    EXPECT_EQ(system_.ReadProfileString(folder_.path() + "none.ini", "Setup", "URLUpdate"), "");
}

TEST_F(Win32Layer, ReadsTheProductVersionOfInstallerDatabases) {
    const std::string fixtures = ProgramFolder() + "installer_fixtures\\";
    if (!system_.FileExists(fixtures + "good.msi")) {
        GTEST_SKIP() << "no test databases: msibuild (msitools) was missing at build time";
    }
    EXPECT_EQ(system_.DatabaseProductVersion(fixtures + "good.msi"), "2.9.1");
    // 399 zeros and a 7: the value is cut to the buffer.
    EXPECT_EQ(system_.DatabaseProductVersion(fixtures + "long.msi"),
              std::string(installer::kShortTextLimit, '0'));
    EXPECT_EQ(system_.DatabaseProductVersion(fixtures + "corrupt.msi"), std::nullopt);
    EXPECT_EQ(system_.DatabaseProductVersion(fixtures + "missing.msi"), std::nullopt);
}

TEST_F(Win32Layer, AnswersForFilesFoldersVolumesAndVersions) {
    WriteFile(folder_.path() + "f.txt", "x");
    EXPECT_TRUE(system_.FileExists(folder_.path() + "f.txt"));
    EXPECT_FALSE(system_.FileExists(folder_.path()));
    EXPECT_TRUE(system_.DirectoryExists(folder_.path()));
    EXPECT_FALSE(system_.DirectoryExists(folder_.path() + "f.txt"));
    EXPECT_EQ(system_.VolumeLabel('Q'), "");  // no such drive
    EXPECT_FALSE(system_.LocalAppDataFolder().empty());
    EXPECT_EQ(installer::FileVersionText(system_.FileVersion(system_.ExecutablePath())), "2.9.1.0");
    EXPECT_EQ(system_.FileVersion(folder_.path() + "f.txt"), std::nullopt);
}

// The registry files of the scenarios.
std::string UninstallEntry(const std::string& subkey, const std::string& name,
                           const std::string& version) {
    return RegKey(std::string(installer::kUninstallKey) + "\\" + subkey,
                  {{"DisplayName", Quoted(name)}, {"DisplayVersion", Quoted(version)}});
}

std::string EverythingCurrent() {
    return RegKey("Software\\Orvanex\\Lumavise Run-Time\\8.5", {{"Version", Quoted("8.5.3")}}) +
           UninstallEntry("TQAPP", "Tarvano Application", "2.9.1") +
           UninstallEntry("TQVISA", "OX-VISA 4.4.1", "4.4.1") +
           UninstallEntry("TQ510", "Tarvano TQ510 Driver", "1.0") +
           UninstallEntry("TQ510A", kTQ510AName, "2.12");
}

std::string LegacyDriverOnWindows5() {
    // Named to come before any class key of the system's own, so that it is the
    // first one of the USB class.
    const std::string usb =
        "System\\CurrentControlSet\\Control\\Class\\{00000000-0000-TQ-TEST-USB}";
    return RegKey("Software\\Microsoft\\Windows NT\\CurrentVersion",
                  {{"CurrentVersion", Quoted("5.1")}}) +
           RegKey(usb, {{"Class", Quoted("USB")}}) +
           RegKey(usb + "\\0000", {{"ProviderName", Quoted("Tarvano")},
                                   {"DriverVersion", Quoted("2.11.0.0")},
                                   {"InfPath", Quoted("oem7.inf")}}) +
           RegKey(std::string(installer::kLegacyDeviceKey) + "\\5&1a2b",
                  {{"DeviceDesc", Quoted("Tarvano TQ510A Mixed Signal Oscilloscope")}});
}

// The kit's files on disk, with a copy of `database` (or a file that is no
// database when it is empty); returns the kit folder.
std::string LayKit(const TempFolder& root, const std::string& database) {
    const std::string kit = root.path() + "Tarvix 2.9.1\\";
    WriteFile(kit + "TarvanoInstaller.ini", KitIni(""));
    for (const char* file :
         {"Drivers\\TQ510A\\dpinst.exe", "Drivers\\TQ510\\tq510.inf", "VISA\\visa32.exe",
          "LMRT\\lmrt.exe", "App\\setup.exe", "Update\\notes.txt"}) {
        WriteFile(kit + file, "x");
    }
    WriteFile(kit + "Drivers\\TQ510A\\xp\\tq510a.inf", TQ510AInf());
    WriteFile(kit + "Drivers\\TQ510A\\vista\\tq510a.inf", TQ510AInf());
    if (!database.empty()) {
        CopyFileA(database.c_str(), (kit + "App\\Tarvano.msi").c_str(), FALSE);
    } else {
        WriteFile(kit + "App\\Tarvano.msi", "no database: the folder name gives the version");
    }
    return kit;
}

TEST_F(Win32Layer, DetectsEachScenarioWithoutChangingTheRegistryOrTheKit) {
    const std::string fixtures = ProgramFolder() + "installer_fixtures\\";
    const bool haveDatabase = system_.FileExists(fixtures + "good.msi");
    struct Scenario {
        const char* name;
        std::string registry;
        const char* expected;
    } scenarios[] = {
        {"fresh machine", "",
         "runtime=0 app=0 update=0 visa=0 tq510=0 tq510a=0 legacy=0 | sources=111111"},
        {"everything current", EverythingCurrent(),
         "runtime=1 app=1 update=0 visa=1 tq510=1 tq510a=1 legacy=0 | sources=111111"},
        {"old application", UninstallEntry("TQAPP", "Tarvano Application", "2.8.0"),
         "runtime=0 app=1 update=1 visa=0 tq510=0 tq510a=0 legacy=0 | sources=111111"},
        {"legacy driver on Windows 5", LegacyDriverOnWindows5(),
         "runtime=0 app=0 update=0 visa=0 tq510=0 tq510a=0 legacy=1 | sources=111111"},
    };
    const std::string originalVersion =
        system_
            .ReadRegistryValue(installer::RegistryView::Native32,
                               "Software\\Microsoft\\Windows NT\\CurrentVersion", "CurrentVersion")
            .text;
    for (const Scenario& s : scenarios) {
        TempFolder kitRoot;
        const std::string kit = LayKit(kitRoot, haveDatabase ? fixtures + "good.msi" : "");
        if (!s.registry.empty()) ImportRegistry(kitRoot, s.registry);

        KitSystem system(kit + "TarvanoInstaller.exe");
        const std::string registryBefore = RegistryState();
        const std::string kitBefore = FolderState(kitRoot.path());
        auto loaded = installer::LoadConfiguration(system);
        const installer::Detection d =
            installer::DetectInstalledState(system, loaded.config, loaded.facts);
        EXPECT_EQ(RegistryState(), registryBefore) << s.name;
        EXPECT_EQ(FolderState(kitRoot.path()), kitBefore) << s.name;

        EXPECT_EQ(Summary(d), s.expected) << s.name;
        EXPECT_EQ(d.install.availableVersionText, "2.9.1") << s.name;
        EXPECT_EQ(d.install.availableVersionNumber, haveDatabase ? 2910 : 291) << s.name;

        TearDown();
        ImportRegistry(kitRoot, RegKey("Software\\Microsoft\\Windows NT\\CurrentVersion",
                                       {{"CurrentVersion", Quoted(originalVersion)}}));
    }
}

TEST_F(Win32Layer, SeesDriversOnlyInThe64BitViewOfA64BitSystem) {
    if (!Is64BitPrefix()) {
        GTEST_SKIP() << "a 32-bit Wine prefix has no 64-bit registry view; the native tests "
                        "cover it with a fake system";
    }
    // ImportRegistry writes the 32-bit view; reg.exe /reg:64 the other one.
    const std::string file = folder_.path() + "wide.reg";
    WriteFile(file, "REGEDIT4\r\n\r\n" + UninstallEntry("TQ510", "Tarvano TQ510 Driver", "1") +
                        UninstallEntry("TQAPP", "Tarvano Application", "2.9.1"));
    RunTool("reg.exe import \"" + file + "\" /reg:64");

    KitSystem system(LayKit(folder_, "") + "TarvanoInstaller.exe");
    auto loaded = installer::LoadConfiguration(system);
    const installer::Detection d =
        installer::DetectInstalledState(system, loaded.config, loaded.facts);
    EXPECT_TRUE(loaded.facts.Is64Bit());
    EXPECT_TRUE(d.install.tq510DriverInstalled);
    EXPECT_FALSE(d.install.applicationInstalled);

    const std::string path = std::string(installer::kUninstallKey) + "\\TQ510";
    EXPECT_TRUE(system_.ReadRegistryValue(installer::RegistryView::Wow64_64, path, "DisplayName")
                    .keyOpened);
    EXPECT_FALSE(system_.ReadRegistryValue(installer::RegistryView::Native32, path, "DisplayName")
                     .keyOpened);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), KEY_WOW64_64KEY, 0);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, (std::string(installer::kUninstallKey) + "\\TQAPP").c_str(),
                    KEY_WOW64_64KEY, 0);
}

TEST_F(Win32Layer, HelpersFindProcessesCopyFilesAndDeleteProtectedKeys) {
    // Our own process, named in another case, with or without its folder.
    const std::string self = system_.ExecutablePath();
    std::string lowerName = self.substr(self.find_last_of('\\') + 1);
    for (char& c : lowerName) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(installer::IsProcessRunning(lowerName));
    EXPECT_FALSE(installer::IsProcessRunning("no-such-program.exe"));

    WriteFile(folder_.path() + "from\\a.txt", "a");
    WriteFile(folder_.path() + "from\\b.txt", "bb");
    EXPECT_TRUE(installer::CopyFiles(folder_.path() + "from\\*.*", folder_.path() + "to\\deep"));
    EXPECT_TRUE(system_.FileExists(folder_.path() + "to\\deep\\b.txt"));
    EXPECT_FALSE(installer::CopyFiles(folder_.path() + "none\\missing.txt", folder_.path() + "to"));

    ASSERT_TRUE(installer::WindowsDirectory());
    EXPECT_TRUE(system_.DirectoryExists(*installer::WindowsDirectory()));
    EXPECT_EQ(installer::RegistryObjectName(HKEY_LOCAL_MACHINE, "System\\X"), "MACHINE\\System\\X");

    // A key with a subkey cannot be deleted: it keeps its access list.
    const std::string key = std::string(kTestKey) + "\\Protected";
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (key + "\\Child").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &created, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(created);
    EXPECT_FALSE(installer::DeleteProtectedKey(key));
    EXPECT_TRUE(installer::DeleteProtectedKey(key + "\\Child"));
    EXPECT_TRUE(installer::DeleteProtectedKey(key));

    // Waits for the program's end; a program that cannot start returns at once.
    const std::string marker = folder_.path() + "ran.txt";
    installer::RunAndWait(nullptr, "open", "cmd.exe", "/c echo x > \"" + marker + "\"",
                          folder_.path(), SW_HIDE);
    EXPECT_TRUE(system_.FileExists(marker));
    installer::RunAndWait(nullptr, "open", folder_.path() + "missing.exe", "", "", SW_HIDE);
}

}  // namespace
}  // namespace installertest
