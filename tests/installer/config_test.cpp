// Loading the INI file and the system facts, and the paths derived from them.

#include "config.h"

#include <gtest/gtest.h>

#include "kit_fixture.h"

namespace installertest {
namespace {

using installer::InstallerKind;
using installer::LoadConfiguration;

TEST(LoadConfiguration, SelectsTheKindFromInstallerTypeInAnyCaseButNotWithALeadingSpace) {
    struct Case {
        const char* value;  // as written after "InstallerType="
        InstallerKind kind;
    } cases[] = {
        {"fullinstall", InstallerKind::FullInstall},
        {"FullInstall", InstallerKind::FullInstall},
        {"UPDATE", InstallerKind::Update},
        {"\" update\"", InstallerKind::Standard},
        {"update ", InstallerKind::Update},  // trailing blanks are not part of a value
        {"", InstallerKind::Standard},
        {"full install", InstallerKind::Standard},
    };
    for (const Case& c : cases) {
        FakeSystem fake;
        MakeMachine(fake, "6.1", "x86");
        fake.AddFile(kIniPath, KitIni(c.value));
        EXPECT_EQ(LoadConfiguration(fake).config.kind, c.kind) << c.value;
    }
}

TEST(LoadConfiguration, WarnsWhenTheIniVersionDiffersFromTheExecutablesInAnyCharacter) {
    struct Case {
        const char* iniVersion;
        bool warning;
    } cases[] = {
        {"2.9.1.0", false}, {"2.09.1.0", true}, {"2.9.1", true}, {"2.9.1.0 ", false}, {"", true},
    };
    for (const Case& c : cases) {
        FakeSystem fake;
        MakeMachine(fake, "6.1", "x86");
        fake.AddFile(kIniPath, KitIni("update", c.iniVersion));
        const auto loaded = LoadConfiguration(fake);
        EXPECT_EQ(loaded.fileVersionText, "2.9.1.0");
        EXPECT_EQ(loaded.versionWarning, c.warning) << c.iniVersion;
    }
}

TEST(LoadConfiguration, WithoutIniOrVersionResourceGivesEmptyTextsAndAStandardKit) {
    FakeSystem fake;
    MakeMachine(fake, "6.1", "x86");
    auto loaded = LoadConfiguration(fake);
    EXPECT_TRUE(loaded.versionWarning);  // an executable with a version, no INI
    EXPECT_EQ(loaded.config.kind, InstallerKind::Standard);
    EXPECT_EQ(loaded.config.iniPath, kIniPath);
    EXPECT_EQ(loaded.config.tq510aDriverFolder, kKitFolder);
    EXPECT_TRUE(loaded.config.lmrt.url.empty());
    EXPECT_FALSE(loaded.config.RuntimeSettingsPresent());

    fake.fileVersion.reset();  // no version resource: nothing to compare
    loaded = LoadConfiguration(fake);
    EXPECT_EQ(loaded.fileVersionText, "");
    EXPECT_FALSE(loaded.versionWarning);
}

TEST(LoadConfiguration, AppendsRelativePathsUncleanedAndPicksTheInfByWindowsVersion) {
    FakeSystem fake;
    MakeMachine(fake, "5.1", "x86");
    std::string ini = KitIni("update");
    ini.replace(ini.find("=Drivers\\TQ510A\n"), 1, "=\\");  // a leading backslash
    fake.AddFile(kIniPath, ini);
    auto loaded = LoadConfiguration(fake);
    EXPECT_EQ(loaded.config.tq510aDriverFolder, "C:\\Kits\\Tarvix 2.9.1\\\\Drivers\\TQ510A");
    EXPECT_EQ(loaded.facts.windowsMajorVersion, 5);
    EXPECT_EQ(loaded.config.tq510aInfPath,
              std::string(kKitFolder) + "Drivers\\TQ510A\\xp\\tq510a.inf");
    EXPECT_EQ(loaded.config.updateFolder, std::string(kKitFolder) + "Update");
    EXPECT_EQ(loaded.config.installLocation, "C:\\Program Files\\Tarvano");
    EXPECT_TRUE(loaded.config.RuntimeSettingsPresent());

    // "Vista" from 6 on; an unreadable version is -1 and selects "XP".
    for (const auto& [version, major, inf] :
         {std::tuple{"6.0", 6, "vista"}, std::tuple{"10.0", 10, "vista"}, std::tuple{"", -1, "xp"},
          std::tuple{"NT", -1, "xp"}}) {
        fake.SetValue("Software\\Microsoft\\Windows NT\\CurrentVersion", "CurrentVersion", version);
        loaded = LoadConfiguration(fake);
        EXPECT_EQ(loaded.facts.windowsMajorVersion, major) << version;
        EXPECT_EQ(loaded.config.tq510aInfPath,
                  std::string(kKitFolder) + "Drivers\\TQ510A\\" + inf + "\\tq510a.inf");
    }
}

TEST(LoadConfiguration, PutsTheVirtualStoreCopyBelowTheProgramFilesFolderOfTheArchitecture) {
    struct Case {
        const char* architecture;
        const char* store;
    } cases[] = {
        {"x86", "C:\\Users\\me\\AppData\\Local\\VirtualStore\\Program Files\\Tarvano"},
        {"AMD64", "C:\\Users\\me\\AppData\\Local\\VirtualStore\\Program Files (x86)\\Tarvano"},
        {"ia64", "C:\\Users\\me\\AppData\\Local\\VirtualStore\\Program Files (x86)\\Tarvano"},
        {"", "C:\\Users\\me\\AppData\\Local\\VirtualStore\\Program Files\\Tarvano"},
    };
    for (const Case& c : cases) {
        FakeSystem fake;
        MakeMachine(fake, "6.1", c.architecture);
        fake.AddFile(kIniPath, KitIni(""));
        const auto loaded = LoadConfiguration(fake);
        EXPECT_EQ(loaded.config.virtualStoreFolder, c.store) << c.architecture;
        EXPECT_EQ(loaded.facts.ArchitectureFolder(), installer::ToLowerAscii(c.architecture));
    }
}

TEST(LoadConfiguration, CutsOverLongValuesToTheBufferSize) {
    FakeSystem fake;
    MakeMachine(fake, "6.1", "x86");
    const std::string huge(100000, 'x');
    fake.AddFile(kIniPath, "[InstallTQApp]\nInstallFolder=" + huge + "\n");
    fake.SetValue("Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", huge);
    const auto loaded = LoadConfiguration(fake);
    EXPECT_EQ(loaded.config.app.installFolder, huge.substr(0, installer::kProfileValueLimit));
    EXPECT_EQ(loaded.facts.programFilesFolder, huge.substr(0, installer::kRegistryTextLimit));
}

TEST(IniText, AnswersAsTheProfileFunctions) {
    const installer::IniText ini(
        "Orphan=before any section\r\n"
        "[Setup]\r\n"
        "  Type  =  \" update\"  \r\n"
        "Single='x'\nHalf=\"open\nEmpty=\nType=second\n"
        "[setup]\nLater=in a second section of the name\n");
    struct Case {
        const char* section;
        const char* key;
        const char* value;
    } cases[] = {
        {"SETUP", "type", " update"},  // quotes keep the blank inside them
        {"Setup", "Single", "x"},     {"Setup", "Half", "\"open"},
        {"Setup", "Empty", ""},       {"Setup", "Later", ""},  // only the first section counts
        {"Missing", "Type", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(ini.Value(c.section, c.key), c.value) << c.key;
}

TEST(PathHelpers, FollowTheExecutablesPathParts) {
    EXPECT_EQ(installer::ReplaceExtension("C:\\a.b\\setup.exe", ".ini"), "C:\\a.b\\setup.ini");
    EXPECT_EQ(installer::ReplaceExtension("C:\\a.b\\setup", ".ini"), "C:\\a.b\\setup.ini");
    EXPECT_EQ(installer::BaseNameWithoutExtension("C:\\a.b\\set.up.exe"), "set.up");
    EXPECT_EQ(installer::FolderOf("C:\\a.b\\setup.exe"), "C:\\a.b\\");
    EXPECT_EQ(installer::FolderOf("E:\\setup.exe"), "E:\\");
}

}  // namespace
}  // namespace installertest
