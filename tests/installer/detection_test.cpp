// Detection end to end on prepared computers: what is installed, what the kit
// carries, and that looking changes nothing.

#include <gtest/gtest.h>

#include <functional>

#include "kit_fixture.h"

namespace installertest {
namespace {

using installer::Detection;
using installer::InstallState;

void InstallEverythingCurrent(FakeSystem& fake, RegistryView driverView) {
    InstallRuntime(fake, "8.5.3");
    InstallApplication(fake, "2.9.1");
    AddUninstallEntry(fake, RegistryView::Native32, "OXVISA", "OX-VISA 4.4");
    AddUninstallEntry(fake, driverView, "TQ510", "Tarvano TQ510 Driver");
    AddUninstallEntry(fake, driverView, "TQ510A", kTQ510AName);
}

// The legacy driver as a Windows XP computer keeps it: a driver instance of
// the USB class and a device bound to it.
void InstallLegacyDriver(FakeSystem& fake) {
    const std::string usb = std::string(installer::kClassKey) + "\\{36FC9E60-USB}";
    fake.SetValue(std::string(installer::kClassKey) + "\\{4D36E972-NET}", "Class", "Net");
    fake.SetValue(usb, "Class", "usb");
    for (const auto& [instance, provider, version] :
         {std::tuple{"0000", "Tarvano", "2.11.0.0"}, std::tuple{"0001", "Tarvano", "2.12.0.0"},
          std::tuple{"0002", "tarvano", "2.0.0.0"}, std::tuple{"0003", "Tarvano", "2.0.0.0"}}) {
        fake.SetValue(usb + "\\" + instance, "ProviderName", provider);
        fake.SetValue(usb + "\\" + instance, "DriverVersion", version);
        fake.SetValue(usb + "\\" + instance, "InfPath", std::string("oem") + instance + ".inf");
    }
    const std::string device = installer::kLegacyDeviceKey;
    fake.SetValue(device + "\\5&1a2b", "DeviceDesc", "Tarvano TQ510A Mixed Signal Oscilloscope");
    fake.SetValue(device + "\\5&3c4d", "DeviceDesc", "tq510a mixed signal oscilloscope");
}

TEST(Detection, GivesTheStatesOfEachPreparedComputer) {
    struct Scenario {
        const char* name;
        const char* windows;
        const char* architecture;
        std::function<void(FakeSystem&)> prepare;
        const char* summary;
    } scenarios[] = {
        {"fresh machine", "6.1", "x86", [](FakeSystem&) {},
         "runtime=0 app=0 update=0 visa=0 tq510=0 tq510a=0 legacy=0 | sources=111111"},
        {"everything current", "6.1", "x86",
         [](FakeSystem& f) { InstallEverythingCurrent(f, RegistryView::Native32); },
         "runtime=1 app=1 update=0 visa=1 tq510=1 tq510a=1 legacy=0 | sources=111111"},
        {"old application, old OX-VISA, newer run time", "6.1", "x86",
         [](FakeSystem& f) {
             InstallApplication(f, "2.8.12");
             InstallRuntime(f, "9.0.1");
             AddUninstallEntry(f, RegistryView::Native32, "OXVISA", "OX-VISA 3.9");
         },
         "runtime=0 app=1 update=1 visa=0 tq510=0 tq510a=0 legacy=0 | sources=111111"},
        {"64-bit, drivers in the 64-bit view only", "6.1", "AMD64",
         [](FakeSystem& f) {
             AddUninstallEntry(f, RegistryView::Wow64_64, "TQ510", "Tarvano TQ510 Driver");
             AddUninstallEntry(f, RegistryView::Wow64_64, "TQ510A", kTQ510AName);
             AddUninstallEntry(f, RegistryView::Wow64_64, "APP", "Tarvano Application", "2.9.1");
             AddUninstallEntry(f, RegistryView::Wow64_64, "OXVISA", "OX-VISA 4.4");
         },
         "runtime=0 app=0 update=0 visa=0 tq510=1 tq510a=1 legacy=0 | sources=111111"},
        {"64-bit, everything current in the 32-bit view", "6.1", "AMD64",
         [](FakeSystem& f) { InstallEverythingCurrent(f, RegistryView::Native32); },
         "runtime=1 app=1 update=0 visa=1 tq510=1 tq510a=1 legacy=0 | sources=111111"},
        {"legacy driver on Windows 5", "5.1", "x86", InstallLegacyDriver,
         "runtime=0 app=0 update=0 visa=0 tq510=0 tq510a=0 legacy=1 | sources=111111"},
        {"legacy driver on Windows 6", "6.0", "x86", InstallLegacyDriver,
         "runtime=0 app=0 update=0 visa=0 tq510=0 tq510a=0 legacy=0 | sources=111111"},
    };
    for (const Scenario& s : scenarios) {
        FakeSystem fake;
        MakeMachine(fake, s.windows, s.architecture);
        MakeKit(fake, "");
        s.prepare(fake);
        const auto before = fake.Snapshot();
        const Outcome outcome = LoadAndDetect(fake);
        EXPECT_EQ(Summary(outcome.detection), s.summary) << s.name;
        EXPECT_EQ(outcome.detection.install.availableVersionText, "2.9.1") << s.name;
        EXPECT_EQ(outcome.detection.install.availableVersionNumber, 2910) << s.name;
        EXPECT_FALSE(outcome.detection.labelWarning) << s.name;
        // Looking changes nothing.
        EXPECT_TRUE(fake.Snapshot() == before) << s.name;
        EXPECT_TRUE(fake.writes.empty()) << s.name;
    }
}

TEST(Detection, TakesTheInstalledApplicationsEntryAndFolder) {
    FakeSystem fake;
    MakeMachine(fake, "6.1", "x86");
    MakeKit(fake, "update");
    InstallApplication(fake, "2.9.0");
    const Outcome outcome = LoadAndDetect(fake);
    const InstallState& s = outcome.detection.install;
    EXPECT_EQ(s.installedVersionText, "2.9.0");
    EXPECT_EQ(s.applicationUninstallKey, std::string(installer::kUninstallKey) + "\\{APP-GUID}");
    EXPECT_EQ(s.uninstallCommand, "MsiExec.exe /X{APP-GUID}");
    EXPECT_TRUE(s.applicationNeedsUpdate);
    EXPECT_EQ(outcome.loaded.config.installLocation, "D:\\Tools\\Tarvano\\");
}

TEST(Detection, ListsTheLegacyDriversInstancesWithTheirInfFilesInStep) {
    FakeSystem fake;
    MakeMachine(fake, "5.1", "x86");
    MakeKit(fake, "");
    InstallLegacyDriver(fake);
    const InstallState s = LoadAndDetect(fake).detection.install;
    EXPECT_EQ(s.legacyUsbClassKey, std::string(installer::kClassKey) + "\\{36FC9E60-USB}");
    EXPECT_EQ(s.legacyDriverEntries, (std::vector<std::string>{"0000", "0003"}));
    EXPECT_EQ(s.legacyInfFiles, (std::vector<std::string>{"oem0000.inf", "oem0003.inf"}));
    EXPECT_EQ(s.legacyDeviceInstances, std::vector<std::string>{"5&1a2b"});
    EXPECT_EQ(s.legacyDeviceKey, installer::kLegacyDeviceKey);
}

// Where the kit's version comes from: the database, else the folder's name,
// else (at a drive root) the volume label.
TEST(Detection, FallsBackFromTheDatabaseToTheFolderNameOrVolumeLabel) {
    struct Case {
        const char* exe;
        const char* database;  // nullptr: none; "!": a file that is no database
        const char* label;
        bool known;
        int number;
        const char* text;
    } cases[] = {
        {kExePath, "2.9.1", "", true, 2910, "2.9.1"},
        {kExePath, nullptr, "", true, 291, "2.9.1"},
        {kExePath, "!", "", true, 291, "2.9.1"},
        {kExePath, "2.9.1-beta", "", false, 0, "2.9.1-beta"},  // no number: counted as 0
        {"C:\\Kits\\Tarvix\\TarvanoInstaller.exe", nullptr, "", false, -1, ""},
        {"E:\\TarvanoInstaller.exe", nullptr, "TARVIX_3.0.2", true, 302, "3.0.2"},
        {"E:\\TarvanoInstaller.exe", nullptr, "", false, -1, ""},
    };
    for (const Case& c : cases) {
        FakeSystem fake;
        MakeMachine(fake, "6.1", "x86");
        fake.exePath = c.exe;
        const std::string kit = installer::FolderOf(c.exe);
        fake.AddFile(installer::ReplaceExtension(c.exe, ".ini"), KitIni(""));
        if (c.database && std::string(c.database) == "!") {
            fake.AddFile(kit + "App\\Tarvano.msi", "not a database");
        } else if (c.database) {
            fake.AddDatabase(kit + "App\\Tarvano.msi", c.database);
        }
        fake.volumeLabels['E'] = c.label;
        InstallApplication(fake, "3.0.0");
        const Detection d = LoadAndDetect(fake).detection;
        const std::string where = std::string(c.exe) + " " + (c.database ? c.database : "-");
        EXPECT_EQ(d.install.availableVersionKnown, c.known) << where;
        EXPECT_EQ(d.install.availableVersionNumber, c.number) << where;
        EXPECT_EQ(d.install.availableVersionText, c.text) << where;
        EXPECT_EQ(d.labelWarning, !c.known) << where;
        // An unknown kit version counts as an update of whatever is installed.
        EXPECT_EQ(d.install.applicationNeedsUpdate, !c.known || c.number > 3000) << where;
    }
}

TEST(Detection, ReadsOnlyStringEntriesAndNeverMatchesAnEmptyName) {
    FakeSystem fake;
    MakeMachine(fake, "6.1", "x86");
    // A kit whose INI names neither the application nor the drivers.
    fake.AddFile(kIniPath, "[Setup]\nInstallerType=update\n");
    const std::string uninstall = installer::kUninstallKey;
    fake.AddKey(RegistryView::Native32, uninstall + "\\KB123456");  // no display name at all
    // Listed first, but its name is no plain string.
    fake.SetValue(RegistryView::Native32, uninstall + "\\AExpand", "DisplayName",
                  "Tarvano Application", installer::RegistryType::ExpandString);
    fake.SetValue(RegistryView::Native32, uninstall + "\\AExpand", "DisplayVersion", "9.9.9");
    const Detection bare = LoadAndDetect(fake).detection;
    EXPECT_EQ(Summary(bare),
              "runtime=0 app=0 update=0 visa=0 tq510=0 tq510a=0 legacy=0 | "
              "sources=000000");

    // An entry whose version is no string reads as "0", and so is older.
    MakeKit(fake, "");
    fake.SetValue(RegistryView::Native32, uninstall + "\\Bin", "DisplayName",
                  "TARVANO application");
    fake.SetValue(RegistryView::Native32, uninstall + "\\Bin", "DisplayVersion", "",
                  installer::RegistryType::Other);
    const InstallState s = LoadAndDetect(fake).detection.install;
    EXPECT_TRUE(s.applicationInstalled);
    EXPECT_EQ(s.installedVersionText, "0");
    EXPECT_TRUE(s.applicationNeedsUpdate);
}

TEST(Detection, FindsTheKitsSourcesOnlyWhereTheirFilesAre) {
    FakeSystem fake;
    MakeMachine(fake, "6.1", "x86");
    fake.AddFile(kIniPath, KitIni("fullinstall"));
    fake.AddFile(std::string(kKitFolder) + "Drivers\\TQ510A\\vista\\tq510a.inf", TQ510AInf());
    fake.AddFile(std::string(kKitFolder) + "Drivers\\TQ510\\readme.txt");  // folder, no INF
    fake.AddFolder(std::string(kKitFolder) + "LMRT\\lmrt.exe");            // a folder of that name
    fake.AddFile(std::string(kKitFolder) + "App\\setup.exe");              // no database beside it
    fake.AddFolder(std::string(kKitFolder) + "Update");
    const Detection d = LoadAndDetect(fake).detection;
    // For a full-install kit the update is the installer, absent without its database.
    EXPECT_EQ(Summary(d).substr(Summary(d).find('|')), "| sources=100000");

    // A kit folder that is gone reads as carrying nothing.
    fake.exePath = "C:\\Gone\\TarvanoInstaller.exe";
    EXPECT_EQ(Summary(LoadAndDetect(fake).detection),
              "runtime=0 app=0 update=0 visa=0 tq510=0 tq510a=0 legacy=0 | sources=000000");
}

TEST(TQ510ADriverPackageName, ResolvesPercentNamesThroughStringsAndSpacesTheDate) {
    FakeSystem fake;
    fake.AddFile("C:\\k\\a.inf", TQ510AInf());
    EXPECT_EQ(installer::TQ510ADriverPackageName(fake, "C:\\k\\a.inf"), kTQ510AName);
    fake.AddFile("C:\\k\\b.inf",
                 "[Version]\nProvider=Tarvano\nDriverPackageDisplayName=%Missing%\n"
                 "DriverVer=1,2,3\n");
    EXPECT_EQ(installer::TQ510ADriverPackageName(fake, "C:\\k\\b.inf"),
              "Windows Driver Package - Tarvano  (1 2 3)");
}

}  // namespace
}  // namespace installertest
