#include "selection.h"

#include <algorithm>

#include "versions.h"

namespace installer {
namespace {

constexpr int kVisaRowHeight = 24;
constexpr char kLineBreak[] = "\r\n";

bool Standard(const InstallerConfig& config) { return config.kind == InstallerKind::Standard; }

void SelectRuntime(const LoadedConfiguration& loaded, const Detection& d, ItemBox& box) {
    if (d.install.runtimeCurrent) {
        box.caption = "Lumavise Runtime is up-to-date";
        box.checked = false;
    } else {
        box.caption = d.source.runtimeInstallerPresent ? "Install Lumavise Runtime"
                                                       : "Download && install Lumavise Runtime";
        box.checked = true;
    }
    if (!Standard(loaded.config)) {
        box.enabled = box.visible = box.checked = false;
        return;
    }
    box.enabled = true;
    if (loaded.config.RuntimeSettingsPresent()) {
        box.visible = true;
    } else {
        box.checked = false;
    }
}

void SelectApplication(const Detection& d, ItemBox& box) {
    const InstallState& state = d.install;
    if (!state.applicationInstalled) {
        box.caption = "Install Tarvano Application Software";
        box.checked = true;
    } else if (state.applicationNeedsUpdate) {
        box.caption = "Update Tarvano Application Software";
        box.checked = state.availableVersionKnown;
    } else {
        box.caption = "Tarvano Application is up-to-date";
    }
    if (d.source.applicationInstallerPresent || d.source.applicationUpdateAvailable) {
        box.enabled = true;
    } else {
        box.checked = false;
    }
}

void SelectVisa(const InstallerConfig& config, const Detection& d, ItemBox& box) {
    box.caption =
        d.install.visaInstalled ? "OX-VISA Driver is up-to-date" : "Install OX-VISA Driver";
    box.checked = !d.install.visaInstalled;
    if (!Standard(config)) {
        box.enabled = box.visible = box.checked = false;
    } else if (!d.source.visaPresent) {
        box.checked = false;
    }
}

// Whether the computer lacks something this kit cannot supply, and whether
// the remedy is the update download (true) or a full install (false).
struct Prerequisites {
    bool missing = false;
    bool downloadUpdate = true;
};

Prerequisites CheckPrerequisites(const InstallerConfig& config, const Detection& d) {
    const InstallState& i = d.install;
    const SourceState& s = d.source;
    const bool driverMissing = (!i.tq510DriverInstalled && !s.tq510DriverPresent) ||
                               (!i.tq510aDriverInstalled && !s.tq510aDriverPresent);
    Prerequisites p;
    switch (config.kind) {
        case InstallerKind::FullInstall:
            p.missing = driverMissing || !s.applicationInstallerPresent;
            break;
        case InstallerKind::Update:
            p.downloadUpdate = i.visaInstalled && i.runtimeCurrent;
            p.missing = !p.downloadUpdate || driverMissing || !s.applicationInstallerPresent;
            break;
        case InstallerKind::Standard:
            p.missing = (!i.visaInstalled && !s.visaPresent) || driverMissing ||
                        (!i.applicationInstalled && !s.applicationInstallerPresent) ||
                        (i.applicationNeedsUpdate && !s.applicationInstallerPresent &&
                         !s.applicationUpdateAvailable);
            break;
    }
    return p;
}

// Builds a rich text line by line, remembering where lines start.
class RichText {
  public:
    std::size_t Line(const std::string& line) {
        const std::size_t start = text_.size();
        text_ += line + kLineBreak;
        return start;
    }
    std::string Take() {
        // The last line carries no break of its own.
        text_.resize(text_.size() - (sizeof kLineBreak - 1));
        return std::move(text_);
    }

  private:
    std::string text_;
};

}  // namespace

bool MainWindowState::InstallEnabled() const {
    return std::any_of(boxes.begin(), boxes.end(), [](const ItemBox& b) { return b.checked; });
}

MainWindowState InitialWindowState() {
    MainWindowState s;
    s.box(Item::Legacy) = {"Remove Legacy QuickUSB Driver", false, false, false, 40, 135};
    s.box(Item::TQ510A) = {"Install Tarvano TQ510A Driver", false, false, true, 40, 159};
    s.box(Item::TQ510) = {"Install Classic Tarvano TQ510 Driver", false, false, true, 40, 183};
    s.box(Item::Visa) = {"Install OX-VISA Driver", false, false, true, 40, 207};
    s.box(Item::Application) = {"Install Tarvano Application", false, false, true, 40, 231};
    s.box(Item::Runtime) = {"Install Lumavise Runtime", false, false, false, 40, 255};
    return s;
}

MainWindowState SelectItems(const LoadedConfiguration& loaded, const Detection& d) {
    MainWindowState s = InitialWindowState();
    const InstallState& state = d.install;
    SelectRuntime(loaded, d, s.box(Item::Runtime));
    SelectApplication(d, s.box(Item::Application));
    SelectVisa(loaded.config, d, s.box(Item::Visa));
    if (!s.box(Item::Visa).visible) {
        s.box(Item::Application).top -= kVisaRowHeight;
        s.box(Item::Runtime).top -= kVisaRowHeight;
    }

    ItemBox& tq510 = s.box(Item::TQ510);
    tq510.caption = state.tq510DriverInstalled ? "Classic Tarvano TQ510 Driver is up-to-date"
                                               : "Install Classic Tarvano TQ510 Driver";
    tq510.enabled = d.source.tq510DriverPresent;

    ItemBox& tq510a = s.box(Item::TQ510A);
    tq510a.caption = state.tq510aDriverInstalled ? "Tarvano TQ510A Driver is up-to-date"
                                                 : "Install Tarvano TQ510A Driver";
    tq510a.checked = !state.tq510aDriverInstalled && d.source.tq510aDriverPresent;
    tq510a.enabled = d.source.tq510aDriverPresent;

    if (state.legacyDriverFound) {
        ItemBox& legacy = s.box(Item::Legacy);
        legacy.checked = legacy.enabled = legacy.visible = true;
    }

    s.installerVersion = "Installer: v" + loaded.fileVersionText;
    s.installedVersion =
        "App installed: " +
        (state.applicationInstalled ? "v" + state.installedVersionText : std::string("no"));
    s.availableVersion =
        "App available: " +
        (state.availableVersionKnown ? "v" + state.availableVersionText : std::string("unknown"));
    return s;
}

std::optional<StartupMessage> StartupDialog(const LoadedConfiguration& loaded,
                                            const Detection& detection) {
    const InstallerConfig& config = loaded.config;
    StartupMessage m;
    RichText text;
    if (ToLowerAscii(config.kitFolder).find(".zip\\") != std::string::npos) {
        text.Line("You cannot install from inside the zip file. ");
        text.Line("");
        const std::size_t move = text.Line(
            "Please move the Tarvix folder out of the zip file to the hard disk and try again. ");
        m.caption = "Extract from ZIP then run again";
        m.text = text.Take();
        m.bold = TextRange{move + 16, 6};
        return m;
    }
    const Prerequisites p = CheckPrerequisites(config, detection);
    if (!p.missing) return std::nullopt;
    text.Line(
        "The necessary runtime support is not installed on this computer and it is not included "
        "in this update.");
    text.Line("");
    if (p.downloadUpdate) {
        text.Line("You will need to download the update from here:");
        m.linkTarget = config.urlUpdate;
        m.caption = "Download needed";
    } else {
        text.Line("You will need to do a full install from here (" + config.sizeFullInstall + "):");
        m.linkTarget = config.urlFullInstall;
        m.caption = "Full install needed";
    }
    const std::size_t address = text.Line(m.linkTarget);
    text.Line("");
    text.Line("This installer will now close.");
    m.text = text.Take();
    m.link = TextRange{address, m.linkTarget.size()};
    m.indented = m.link;
    return m;
}

}  // namespace installer
