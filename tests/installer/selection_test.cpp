// The start-up selection and start-up messages on a table of computers and
// kits, and the command lines and progress figures of the install sequence.

#include "selection.h"

#include <gtest/gtest.h>

#include "commands.h"

namespace installertest {
namespace {

using installer::InstallerKind;
using installer::Item;

// A kit carrying everything, on a computer with nothing installed.
struct Case {
    installer::LoadedConfiguration loaded;
    installer::Detection d;
    Case(InstallerKind kind) {
        loaded.config.kind = kind;
        loaded.config.kitFolder = "C:\\Kits\\Tarvix 2.9.1\\";
        loaded.config.lmrt.subkey = "8.5";
        loaded.config.lmrt.versionRequired = "8.5";
        loaded.config.urlUpdate = "http://example.invalid/update";
        loaded.config.urlFullInstall = "http://example.invalid/full";
        loaded.config.sizeFullInstall = "310 MB";
        loaded.fileVersionText = "2.9.1.0";
        d.install.availableVersionKnown = true;
        d.install.availableVersionText = "2.9.1";
        d.source = {true, true, true, true, true, false};
    }
    void EverythingCurrent() {
        d.install.runtimeCurrent = d.install.visaInstalled = true;
        d.install.tq510DriverInstalled = d.install.tq510aDriverInstalled = true;
        d.install.applicationInstalled = true;
        d.install.installedVersionText = "2.9.1";
    }
};

// Each box as "caption|checked enabled visible top".
std::string Boxes(const installer::MainWindowState& s) {
    std::string text;
    for (const auto& b : s.boxes) {
        text += b.caption + "|" + std::to_string(b.checked) + std::to_string(b.enabled) +
                std::to_string(b.visible) + " " + std::to_string(b.top) + "\n";
    }
    return text;
}

TEST(Selection, PreselectsEachKitOnEachComputer) {
    struct Row {
        const char* name;
        InstallerKind kind;
        void (*prepare)(Case&);
        const char* boxes;  // legacy, TQ510A, TQ510, OX-VISA, run time, application
        bool install;
        const char* dialog;  // the start-up dialog's caption, "" for none
    } rows[] = {
        {"fresh computer, Standard kit", InstallerKind::Standard, [](Case&) {},
         "Remove Legacy QuickUSB Driver|000 135\nInstall Tarvano TQ510A Driver|111 159\n"
         "Install Classic Tarvano TQ510 Driver|011 183\nInstall OX-VISA Driver|101 207\n"
         "Install Lumavise Runtime|111 255\nInstall Tarvano Application Software|111 231\n",
         true, ""},
        {"everything current", InstallerKind::Standard, [](Case& c) { c.EverythingCurrent(); },
         "Remove Legacy QuickUSB Driver|000 135\nTarvano TQ510A Driver is up-to-date|011 159\n"
         "Classic Tarvano TQ510 Driver is up-to-date|011 183\nOX-VISA Driver is up-to-date|001 "
         "207\n"
         "Lumavise Runtime is up-to-date|011 255\nTarvano Application is up-to-date|011 231\n",
         false, ""},
        {"Standard kit without OX-VISA, OX-VISA installed", InstallerKind::Standard,
         [](Case& c) {
             c.d.install.visaInstalled = true;
             c.d.source.visaPresent = false;
         },
         "Remove Legacy QuickUSB Driver|000 135\nInstall Tarvano TQ510A Driver|111 159\n"
         "Install Classic Tarvano TQ510 Driver|011 183\nOX-VISA Driver is up-to-date|001 207\n"
         "Install Lumavise Runtime|111 255\nInstall Tarvano Application Software|111 231\n",
         true, ""},
        {"Update kit, OX-VISA installed, run time current, old application", InstallerKind::Update,
         [](Case& c) {
             c.EverythingCurrent();
             c.d.install.installedVersionText = "2.8.0";
             c.d.install.applicationNeedsUpdate = true;
             c.d.source.runtimeInstallerPresent = c.d.source.visaPresent = false;
         },
         "Remove Legacy QuickUSB Driver|000 135\nTarvano TQ510A Driver is up-to-date|011 159\n"
         "Classic Tarvano TQ510 Driver is up-to-date|011 183\nOX-VISA Driver is up-to-date|000 "
         "207\n"
         "Lumavise Runtime is up-to-date|000 231\nUpdate Tarvano Application Software|111 207\n",
         true, ""},
        {"Update kit without OX-VISA on the computer", InstallerKind::Update,
         [](Case& c) { c.d.install.runtimeCurrent = true; },
         "Remove Legacy QuickUSB Driver|000 135\nInstall Tarvano TQ510A Driver|111 159\n"
         "Install Classic Tarvano TQ510 Driver|011 183\nInstall OX-VISA Driver|000 207\n"
         "Lumavise Runtime is up-to-date|000 231\nInstall Tarvano Application Software|111 207\n",
         true, "Full install needed"},
        {"legacy driver, no run-time settings, kit without run time", InstallerKind::Standard,
         [](Case& c) {
             c.d.install.legacyDriverFound = true;
             c.loaded.config.lmrt.versionRequired.clear();
             c.d.source.runtimeInstallerPresent = false;
         },
         "Remove Legacy QuickUSB Driver|111 135\nInstall Tarvano TQ510A Driver|111 159\n"
         "Install Classic Tarvano TQ510 Driver|011 183\nInstall OX-VISA Driver|101 207\n"
         "Download && install Lumavise Runtime|010 255\nInstall Tarvano Application Software|111 "
         "231\n",
         true, ""},
        {"old application, version unknown, no application in the kit", InstallerKind::Standard,
         [](Case& c) {
             c.d.install.applicationInstalled = c.d.install.applicationNeedsUpdate = true;
             c.d.install.availableVersionKnown = false;
             c.d.source.applicationInstallerPresent = false;
         },
         "Remove Legacy QuickUSB Driver|000 135\nInstall Tarvano TQ510A Driver|111 159\n"
         "Install Classic Tarvano TQ510 Driver|011 183\nInstall OX-VISA Driver|101 207\n"
         "Install Lumavise Runtime|111 255\nUpdate Tarvano Application Software|001 231\n",
         true, "Download needed"},
        {"FullInstall kit without the TQ510A driver", InstallerKind::FullInstall,
         [](Case& c) { c.d.source.tq510aDriverPresent = false; },
         "Remove Legacy QuickUSB Driver|000 135\nInstall Tarvano TQ510A Driver|001 159\n"
         "Install Classic Tarvano TQ510 Driver|011 183\nInstall OX-VISA Driver|000 207\n"
         "Install Lumavise Runtime|000 231\nInstall Tarvano Application Software|111 207\n",
         true, "Download needed"},
    };
    for (const Row& row : rows) {
        Case c(row.kind);
        row.prepare(c);
        const installer::MainWindowState s = installer::SelectItems(c.loaded, c.d);
        EXPECT_EQ(Boxes(s), row.boxes) << row.name;
        EXPECT_EQ(s.InstallEnabled(), row.install) << row.name;
        const auto dialog = installer::StartupDialog(c.loaded, c.d);
        EXPECT_EQ(dialog ? dialog->caption : "", row.dialog) << row.name;
    }
}

TEST(Selection, TogglingTheOnlyCheckedBoxTogglesInstall) {
    Case c(InstallerKind::Standard);
    c.EverythingCurrent();
    installer::MainWindowState s = installer::SelectItems(c.loaded, c.d);
    EXPECT_EQ(s.installedVersion, "App installed: v2.9.1");
    EXPECT_EQ(s.availableVersion, "App available: v2.9.1");
    EXPECT_EQ(s.installerVersion, "Installer: v2.9.1.0");
    for (Item item : {Item::Legacy, Item::TQ510, Item::Runtime}) {  // hidden ones count too
        s.box(item).checked = true;
        EXPECT_TRUE(s.InstallEnabled());
        s.box(item).checked = false;
        EXPECT_FALSE(s.InstallEnabled());
    }
}

TEST(StartupDialog, PlacesBoldWordsAndLinksAtTheirOffsets) {
    Case zip(InstallerKind::Update);
    zip.loaded.config.kitFolder = "C:\\Downloads\\Kit.ZIP\\Tarvix\\";
    zip.d.install = {};  // also missing everything: the zip message wins
    const auto z = installer::StartupDialog(zip.loaded, zip.d);
    ASSERT_TRUE(z);
    EXPECT_EQ(z->caption, "Extract from ZIP then run again");
    EXPECT_EQ(z->bold->start, 65u);
    EXPECT_EQ(z->text.substr(z->bold->start, z->bold->length), "Tarvix");
    EXPECT_FALSE(z->link);

    Case update(InstallerKind::Update);
    update.d.install.visaInstalled = update.d.install.runtimeCurrent = true;
    update.d.source.tq510DriverPresent = false;
    const auto u = installer::StartupDialog(update.loaded, update.d);
    ASSERT_TRUE(u);
    EXPECT_EQ(u->link->start, 155u);
    EXPECT_EQ(u->text.substr(u->link->start, u->link->length), "http://example.invalid/update");
    EXPECT_EQ(u->text.substr(u->text.size() - 34), "\r\n\r\nThis installer will now close.");

    Case full(InstallerKind::Update);  // OX-VISA missing: full install
    const auto f = installer::StartupDialog(full.loaded, full.d);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->link->start, 156u + 6);
    EXPECT_EQ(f->text.substr(f->link->start, f->link->length), "http://example.invalid/full");
    EXPECT_NE(f->text.find("full install from here (310 MB):"), std::string::npos);
}

TEST(Commands, SplitsUninstallCommandsWithoutSplittingPaths) {
    struct {
        const char* command;
        const char* program;
        const char* parameters;
    } const rows[] = {
        {"msiexec /x{1234}", "msiexec", "/x{1234} /passive"},
        {"MSIEXEC /I{1234}", "MSIEXEC", "/I{1234} /passive"},
        {"MsiExec.exe /X{1234}", "MsiExec.exe", "/X{1234}"},
        {"msiexec", "msiexec", ""},
        {"C:\\Tarvano\\uninst.exe", "C:\\Tarvano\\uninst.exe", ""},
        {"C:\\Program Files\\Tarvano\\uninst.exe /S", "C:\\Program Files\\Tarvano\\uninst.exe",
         "/S"},
        {"\"C:\\Program Files\\Tarvano\\uninst.exe\" /S /x",
         "C:\\Program Files\\Tarvano\\uninst.exe", "/S /x"},
        {"\"C:\\Program Files\\Tarvano\\uninst.exe\"", "C:\\Program Files\\Tarvano\\uninst.exe",
         ""},
        {"rundll32 setup.exe remove", "rundll32", "setup.exe remove"},
    };
    for (const auto& row : rows) {
        const installer::Command c = installer::SplitUninstallCommand(row.command);
        EXPECT_EQ(c.program, row.program) << row.command;
        EXPECT_EQ(c.parameters, row.parameters) << row.command;
    }
    EXPECT_EQ(installer::ExpandParameters("app.cab", "*.exe", "C:\\Program Files\\Tarvano"),
              "\"app.cab\" /F:*.exe \"C:\\Program Files\\Tarvano\"");
    // A folder ending in a backslash keeps its closing quote.
    EXPECT_EQ(installer::ExpandParameters("app.cab", "*.vi", "D:\\Tarvano\\"),
              "\"app.cab\" /F:*.vi \"D:\\Tarvano\\\\\"");
    EXPECT_EQ(installer::DriverWorkingFolder("D:\\Drivers\\TQ510A", "AMD64"),
              "D:\\Drivers\\TQ510A\\amd64");
}

TEST(Commands, CountsDownloadProgressInWholeKilobytes) {
    // 5000 bytes announced, read in chunks of at most 1024, then a read of 0.
    installer::DownloadProgress p{5000, 0};
    std::string shown;
    for (std::uint32_t chunk : {1024u, 1024u, 1024u, 1024u, 904u, 0u}) {
        p.received += chunk;
        shown += std::to_string(p.Remaining() / 1024) + " ";
    }
    EXPECT_EQ(shown, "3 2 1 0 0 0 ");
    EXPECT_EQ(p.Position(), 5000u);
    EXPECT_EQ(p.Text(), "Downloading Lumavise Runtime, 0 kB remaining...");
    // Fewer bytes announced than arrive: nothing remaining, the bar stays full.
    installer::DownloadProgress over{100, 3000};
    EXPECT_EQ(over.Remaining(), 0u);
    EXPECT_EQ(over.Position(), 100u);
}

}  // namespace
}  // namespace installertest
