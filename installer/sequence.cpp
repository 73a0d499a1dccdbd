#include "sequence.h"

#include "commands.h"
#include "versions.h"

namespace installer {
namespace {

// How long the wait for a downloaded installer's processes pauses between looks.
constexpr int kProcessPollMilliseconds = 250;
constexpr char kInstallingText[] = "The items you selected are being installed. Please wait.";
constexpr char kLegacyRemovedText[] =
    "The Legacy QuickUSB driver has been removed. \r\rTo re-install the new driver:\r"
    "    1. Connect the Tarvano and turn it on.\r"
    "    2. The \"Found New Hardware Wizard\" will show.\r"
    "    3. If it asks to connect to Windows Update to search for software, \r"
    "       select \"No, not this time\" and click \"Next\".\r"
    "    4. Select \"Install the software automatically\" and click \"Next\".\r\r"
    "We recommmend you also update the firmware in the Tarvano.";
constexpr char kAppRunningText[] =
    "The existing Tarvano application is running! \rPlease close it and click OK or click "
    "Cancel to cancel the installation.";
constexpr char kFolderNotFoundText[] =
    "The Tarvano application folder was not found! Please locate where it is installed.";
constexpr char kBrowseTitle[] = "Select the Tarvano application folder";
constexpr char kUninstallFirstText[] =
    "The existing Tarvano application will be uninstalled first.";
constexpr char kUpToDateText[] =
    "The existing Tarvano application is already up-to-date.\rTo install anyway the existing "
    "Tarvano application needs to be uninstalled first.\r\rContinue anyway?";
constexpr char kCopyFailedText[] = "Update could not copy the necessary files. Please click Close.";
constexpr char kFinishedText[] = "Update complete. Please click Finished.";
constexpr char kDownloadTarget[] = "\\Temp\\tqLMRTinstall.exe";
constexpr char kRomLoaderUpdate[] = "TARVANO_ROM_LOADER.EXE";
constexpr char kRomLoader[] = "Tarvano ROM Loader.exe";

std::string FileNameOf(const std::string& path) { return path.substr(FolderOf(path).size()); }

class Sequence {
  public:
    Sequence(SequenceView& view, InstallSystem& system, LoadedConfiguration& loaded,
             const Detection& detection)
        : view_(view),
          system_(system),
          config_(loaded.config),
          facts_(loaded.facts),
          state_(detection.install),
          source_(detection.source) {}

    void Run() {
        view_.DisableItems();
        view_.SetInstructions(kInstallingText, std::nullopt);
        if (Starts(Item::Legacy)) RemoveLegacyDriver();
        if (Starts(Item::TQ510A)) InstallTQ510ADriver();
        if (Starts(Item::TQ510)) InstallTQ510Driver();
        if (Starts(Item::Visa) && !config_.visa.runFile32.empty()) InstallVisa();
        if (!view_.Checked(Item::Runtime) && !view_.Checked(Item::Application)) Finish();
        if (Starts(Item::Runtime)) InstallRuntime();
        if (Starts(Item::Application)) InstallApplication();
        view_.SetInstalledVersionLabel("App installed: v" + state_.availableVersionText);
        if (closeAtEnd_) view_.CloseWindow();
    }

  private:
    // A step runs when its box is checked and the user has not cancelled.
    bool Starts(Item item) { return view_.Checked(item) && !view_.CancelRequested(); }

    void Run(const std::string& program, const std::string& parameters, const std::string& folder) {
        system_.RunAndWait("open", program, parameters, folder, kShowNormal);
    }

    void RemoveLegacyDriver() {
        view_.SetProgressText("Removing Legacy QuickUSB Driver...");
        const auto& entries = state_.legacyDriverEntries;
        std::optional<std::string> windows;
        if (!entries.empty()) {
            // Without the Windows folder the driver's INF files cannot be found;
            // its registry entries are still removed.
            std::string error;
            windows = system_.WindowsDirectory(error);
            if (!windows) view_.ShowMessage(MessageType::Warning, MessageButtons::Ok, error);
        }
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (windows && i < state_.legacyInfFiles.size()) {
                RemoveLegacyInf(*windows + "\\inf\\" + state_.legacyInfFiles[i]);
            }
            system_.DeleteRegistryTree(state_.legacyUsbClassKey + "\\" + entries[i]);
        }
        for (const std::string& instance : state_.legacyDeviceInstances) {
            const std::string key = state_.legacyDeviceKey + "\\" + instance;
            if (const auto subkeys = system_.RegistrySubkeys(RegistryView::Native32, key)) {
                for (const std::string& subkey : *subkeys) {
                    system_.DeleteProtectedKey(key + "\\" + subkey);
                }
            }
            system_.DeleteProtectedKey(key);
        }
        if (facts_.windowsMajorVersion < 6) {
            view_.ShowMessage(MessageType::Confirmation, MessageButtons::Ok, kLegacyRemovedText);
        }
    }

    // Only an INF file of ours is deleted, with its precompiled twin.
    void RemoveLegacyInf(const std::string& inf) {
        if (!system_.FileExists(inf)) return;
        if (system_.ReadProfileString(inf, "Strings", "MfgName") != "Tarvano") return;
        system_.DeleteFileAt(inf);
        system_.DeleteFileAt(ReplaceExtension(inf, ".pnf"));
    }

    void InstallTQ510ADriver() {
        view_.SetProgressText("Installing Tarvano TQ510A Driver...");
        const auto& driver = config_.tq510a;
        Run(driver.runFile,
            facts_.windowsMajorVersion < 6 ? driver.runParametersXP : driver.runParametersVista,
            DriverWorkingFolder(config_.tq510aDriverFolder, facts_.processorArchitecture));
    }

    void InstallTQ510Driver() {
        view_.SetProgressText("Installing Classic Tarvano TQ510 Driver...");
        Run(config_.tq510.runFile, config_.tq510.runParameters,
            DriverWorkingFolder(config_.tq510DriverFolder, facts_.processorArchitecture));
    }

    void InstallVisa() {
        view_.SetProgressText("Installing OX-VISA Driver...");
        const auto& visa = config_.visa;
        Run(visa.runFile32, visa.runParameters32, config_.visaFolder);
        if (facts_.Is64Bit()) Run(visa.runFile64, visa.runParameters64, config_.visaFolder);
    }

    void InstallRuntime() {
        std::string program = config_.lmrt.runFile;
        std::string folder = config_.lmrtFolder;
        bool downloaded = false;
        if (!source_.runtimeInstallerPresent) {
            view_.SetProgressText("Downloading Lumavise Runtime...");
            view_.ShowProgressBar(true);
            program = system_.LocalAppDataFolder() + kDownloadTarget;
            downloaded = system_.DownloadFile(config_.lmrt.url, program);
            view_.SetProgressText(downloaded ? "Download of Lumavise Runtime successful."
                                             : "Error in download of Lumavise Runtime.");
            // Whatever lies there now (a partial file, or one left by an earlier
            // run) is not the installer asked for: the attempt below must not run it.
            if (!downloaded && system_.FileExists(program)) system_.DeleteFileAt(program);
            // A kit without the run-time installer may lack its folder, and a
            // program cannot start in a folder that does not exist.
            if (!system_.DirectoryExists(folder)) folder = FolderOf(program);
        }
        view_.SetProgressText("Installing Lumavise Runtime...");
        view_.ShowProgressBar(false);
        Run(program, config_.lmrt.runParameters, folder);
        if (!downloaded) return;
        // A self-extracting installer may go on in a second process of its name.
        const std::string name = FileNameOf(program);
        // The poll pauses between rounds with the window working, so that it
        // neither spins the processor nor keeps Cancel from being clicked.
        while (system_.IsProcessRunning(name) && !view_.CancelRequested()) {
            system_.Pause(kProcessPollMilliseconds);
        }
        system_.DeleteFileAt(program);
    }

    void RunApplicationInstaller() {
        Run(config_.app.runFile, config_.app.runParameters, config_.appFolder);
    }

    Answer Ask(MessageType type, const char* text) {
        return view_.ShowMessage(type, MessageButtons::OkCancel, text);
    }

    void InstallApplication() {
        view_.SetProgressText("Installing Tarvano Application...");
        while (answer_ == Answer::Ok && system_.IsProcessRunning(config_.app.processExeFileName)) {
            answer_ = Ask(MessageType::Warning, kAppRunningText);
        }
        if (!state_.applicationInstalled) {
            if (answer_ == Answer::Ok) RunApplicationInstaller();
        } else if (source_.applicationUpdateAvailable) {
            std::string& location = config_.installLocation;
            while (answer_ == Answer::Ok && !system_.DirectoryExists(location)) {
                answer_ = Ask(MessageType::Confirmation, kFolderNotFoundText);
                if (answer_ != Answer::Ok) break;
                location.clear();
                answer_ =
                    system_.BrowseForFolder(kBrowseTitle, location) ? Answer::Ok : Answer::Cancel;
            }
            if (answer_ != Answer::Ok) return;
            if (config_.kind == InstallerKind::Standard) {
                UpdateInPlace();
            } else {
                RunApplicationInstaller();
            }
        } else {
            if (answer_ == Answer::Ok) {
                answer_ = state_.applicationNeedsUpdate
                              ? Ask(MessageType::Confirmation, kUninstallFirstText)
                              : Ask(MessageType::Warning, kUpToDateText);
            }
            if (answer_ != Answer::Ok) return;
            const Command uninstall = SplitUninstallCommand(state_.uninstallCommand);
            Run(uninstall.program, uninstall.parameters, "");
            RunApplicationInstaller();
        }
    }

    void UpdateInPlace() {
        const std::string& location = config_.installLocation;
        const std::string install = WithTrailingBackslash(location);
        const std::string update = WithTrailingBackslash(config_.updateFolder);
        if (!system_.CopyFiles(update + "*.*", install)) {
            view_.SetCancelCaption("Close");
            view_.SetProgressText("");
            view_.SetInstructions(kCopyFailedText, TextRange{56, 5});
            closeAtEnd_ = false;
            return;
        }
        if (facts_.windowsMajorVersion >= 6) {
            // Named in full: one file copied to a folder that does not exist yet
            // would otherwise become a file of the folder's name.
            const std::string& notes = config_.app.updateNotesFileName;
            system_.CopyFiles(update + notes,
                              WithTrailingBackslash(config_.virtualStoreFolder) + notes);
        }
        const std::string& cabinet = config_.app.updateCabFile;
        if (facts_.windowsMajorVersion >= 5 &&
            system_.FileExists(WithTrailingBackslash(config_.cabFolder) + cabinet)) {
            for (const char* mask : {"*.exe", "*.vi"}) {
                Run("expand.exe", ExpandParameters(cabinet, mask, location), config_.cabFolder);
            }
        }
        if (system_.FileExists(install + kRomLoaderUpdate)) {
            system_.DeleteFileAt(install + kRomLoader);
            system_.RenameFile(install + kRomLoaderUpdate, install + kRomLoader);
        }
        system_.WriteRegistryStrings(
            RegistryView::Native32, state_.applicationUninstallKey,
            {{"DisplayVersion", state_.availableVersionText}, {"InstallLocation", location}});
        Finish();
    }

    void Finish() {
        view_.SetCancelCaption("Finished");
        view_.SetProgressText("");
        view_.SetInstructions(kFinishedText, TextRange{30, 8});
        closeAtEnd_ = false;
    }

    SequenceView& view_;
    InstallSystem& system_;
    InstallerConfig& config_;
    const SystemFacts& facts_;
    const InstallState& state_;
    const SourceState& source_;
    bool closeAtEnd_ = true;
    Answer answer_ = Answer::Ok;
};

}  // namespace

void RunInstallSequence(SequenceView& view, InstallSystem& system, LoadedConfiguration& loaded,
                        const Detection& detection) {
    Sequence(view, system, loaded, detection).Run();
}

}  // namespace installer
