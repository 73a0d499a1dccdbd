// The install sequence with the real Windows system layer: a kit in folders
// with blanks whose installers are copies of a recorder program, so that the
// programs started, their command lines and working folders can be read back;
// the Cancel button pressed while an installer runs; and an update in place
// with its files, its cabinet's command lines, the ROM loader and the registry.

#include <gtest/gtest.h>

// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

#include "recording_view.h"
#include "sequence.h"
#include "win32_fixture.h"

namespace installertest {
namespace {

const std::string kAppKey = std::string(installer::kUninstallKey) + "\\{TQ-TEST-APP}";

// The Cancel button as a message to a window of this thread: posted before the
// sequence starts, it arrives only through a message loop, which is the one
// RunAndWait runs while the first installer works.
class CancelButton {
  public:
    explicit CancelButton(RecordingView& view) {
        WNDCLASSA type = {};
        type.lpfnWndProc = Procedure;
        type.hInstance = GetModuleHandleA(nullptr);
        type.lpszClassName = "TarvanoTestCancel";
        RegisterClassA(&type);  // a second registration fails harmlessly
        window_ = CreateWindowExA(0, type.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  type.hInstance, nullptr);
        SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&view));
    }
    ~CancelButton() { DestroyWindow(window_); }
    CancelButton(const CancelButton&) = delete;
    CancelButton& operator=(const CancelButton&) = delete;
    void Click() { PostMessageA(window_, WM_APP, 0, 0); }

  private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
        if (message == WM_APP) {
            reinterpret_cast<RecordingView*>(GetWindowLongPtrA(window, GWLP_USERDATA))->cancelled =
                true;
        }
        return DefWindowProcA(window, message, w, l);
    }
    HWND window_ = nullptr;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Every "{name}" in `text` replaced by its value.
std::string Fill(std::string text, const std::vector<std::pair<std::string, std::string>>& values) {
    for (const auto& [name, value] : values) {
        for (std::size_t at; (at = text.find(name)) != std::string::npos;) {
            text.replace(at, name.size(), value);
        }
    }
    return text;
}

// A kit whose folders, a parameter and the cabinet's name have blanks in them.
std::string SequenceKitIni() {
    return "[Setup]\r\nInstallerType=\r\n"
           "[InstallTQ510ADriver]\r\nRunRelativePath=Drivers Dir\\TQ510A\r\nRunFile=dpinst.exe\r\n"
           "RunParametersXP=/xp\r\nRunParametersVista=/q /path \"C:\\a b\"\r\n"
           "[InstallTQ510Driver]\r\nRunRelativePath=Drivers Dir\\TQ510\r\nRunFile=setup.exe\r\n"
           "RunParameters=/s\r\n"
           "[InstallVISA]\r\nRunRelativePath=VISA Dir\r\nRunFile32=visa32.exe\r\n"
           "RunParameters32=/q32\r\nRunFile64=visa64.exe\r\nRunParameters64=/q64\r\n"
           "[InstallLMRT]\r\nRunRelativePath=LMRT Dir\r\nRunFile=lmrt.exe\r\nRunParameters=/q\r\n"
           "[InstallTQApp]\r\nRunRelativePath=App Dir\r\nRunFile=setup.exe\r\n"
           "RunParameters=/passive\r\nInstallFolder=Tarvano Test\r\n"
           "InstallDisplayName=Tarvano Test Application\r\nProcessExeFileName=TarvanoTest.exe\r\n"
           "UpdateRelativePath=Update Dir\r\nUpdateCABRelativePath=Cabinet Dir\r\n"
           "UpdateCABFile=app update.cab\r\nUpdateNotesFileName=notes.txt\r\n";
}

std::string UninstallEntry(const std::string& version, const std::string& location,
                           const std::string& command) {
    return RegKey(kAppKey, {{"DisplayName", Quoted("Tarvano Test Application")},
                            {"DisplayVersion", Quoted(version)},
                            {"InstallLocation", Quoted(location)},
                            {"UninstallString", Quoted(command)}});
}

// The arguments of a command line as a C run-time's parser splits them.
std::vector<std::string> Arguments(const std::string& parameters) {
    const std::string line = "program " + parameters;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(std::wstring(line.begin(), line.end()).c_str(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; argv && i < count; ++i) {
        const std::wstring argument = argv[i];
        arguments.emplace_back(argument.begin(), argument.end());  // the tests' paths are ASCII
    }
    LocalFree(argv);
    return arguments;
}

class InstallSequenceOnWindows : public ::testing::Test {
  protected:
    void SetUp() override {
        SetEnvironmentVariableA("TARVANO_RECORDER_LOG", log_.c_str());
        WriteFile(kit_ + "TarvanoInstaller.ini", SequenceKitIni());
        // Windows from Vista on, also where the prefix's 32-bit view lacks the value.
        ImportRegistry(root_, RegKey("Software\\Microsoft\\Windows NT\\CurrentVersion",
                                     {{"CurrentVersion", Quoted("6.1")}}));
    }
    void TearDown() override { DeleteTree(kAppKey); }

    // A copy of the recorder at `path` in the kit.
    void Recorder(const std::string& path) {
        const std::string recorder = ProgramFolder() + "recorder.exe";
        WriteFile(kit_ + path, "");
        ASSERT_TRUE(CopyFileA(recorder.c_str(), (kit_ + path).c_str(), FALSE)) << path;
    }
    std::vector<std::string> Recorded() { return Lines(ReadFile(log_)); }

    // Loads the kit's configuration and detects, as the main window does.
    void Prepare() {
        loaded_ = installer::LoadConfiguration(system_);
        detection_ = installer::DetectInstalledState(system_, loaded_.config, loaded_.facts);
    }
    void Run(RecordingView& view) {
        system_.AttachWindow(nullptr, &view);
        installer::RunInstallSequence(view, system_, loaded_, detection_);
    }

    TempFolder root_;
    const std::string kit_ = root_.path() + "Kit 2.9.1\\";
    const std::string log_ = root_.path() + "recorder log.txt";
    KitSystem system_{kit_ + "TarvanoInstaller.exe"};
    installer::LoadedConfiguration loaded_;
    installer::Detection detection_;
};

TEST_F(InstallSequenceOnWindows, StartsEachInstallerInOrderWithItsCommandLineAndFolder) {
    struct Scenario {
        const char* name;
        std::set<Item> checked;
        std::deque<Answer> answers;
        std::function<std::string(const std::string& kit)> registry;  // imported first
        bool cancelDuringFirst;
        // Lines of the recorder's log; "64:" lines only on a 64-bit system.
        std::vector<std::string> expected;
    } const scenarios[] = {
        {"every item on a fresh computer",
         {Item::TQ510A, Item::TQ510, Item::Visa, Item::Runtime, Item::Application},
         {},
         nullptr,
         false,
         {"dpinst.exe|/q /path \"C:\\a b\"|{kit}Drivers Dir\\TQ510A\\{arch}",
          "setup.exe|/s|{kit}Drivers Dir\\TQ510\\{arch}", "visa32.exe|/q32|{kit}VISA Dir",
          "64:visa64.exe|/q64|{kit}VISA Dir", "lmrt.exe|/q|{kit}LMRT Dir",
          "setup.exe|/passive|{kit}App Dir"}},
        {"Cancel while the first driver installs",
         {Item::TQ510A, Item::TQ510, Item::Application},
         {},
         nullptr,
         true,
         {"dpinst.exe|/q /path \"C:\\a b\"|{kit}Drivers Dir\\TQ510A\\{arch}"}},
        {"an up-to-date application: its uninstaller from a path with blanks, then the kit's",
         {Item::Application},
         {Answer::Ok},
         [](const std::string& kit) {
             return UninstallEntry("2.9.1", kit, kit + "Uninstall Dir\\remove.exe /x{TQ-TEST-APP}");
         },
         false,
         {"remove.exe|/x{TQ-TEST-APP}|{here}", "setup.exe|/passive|{kit}App Dir"}},
    };
    char here[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, here);
    Prepare();
    const std::string arch = loaded_.facts.ArchitectureFolder();
    ASSERT_FALSE(arch.empty());
    for (const std::string& program :
         {"Drivers Dir\\TQ510A\\" + arch + "\\dpinst.exe",
          "Drivers Dir\\TQ510\\" + arch + "\\setup.exe", std::string("VISA Dir\\visa32.exe"),
          std::string("VISA Dir\\visa64.exe"), std::string("LMRT Dir\\lmrt.exe"),
          std::string("App Dir\\setup.exe"), std::string("Uninstall Dir\\remove.exe")}) {
        Recorder(program);
    }
    const std::vector<std::pair<std::string, std::string>> values = {
        {"{kit}", kit_}, {"{arch}", arch}, {"{here}", here}};

    for (const Scenario& s : scenarios) {
        DeleteFileA(log_.c_str());
        DeleteTree(kAppKey);
        if (s.registry) ImportRegistry(root_, s.registry(kit_));
        Prepare();
        std::vector<std::string> shown;
        RecordingView view(shown, s.checked, s.answers);
        CancelButton cancel(view);
        if (s.cancelDuringFirst) cancel.Click();
        Run(view);

        std::vector<std::string> expected;
        for (const std::string& line : s.expected) {
            if (line.rfind("64:", 0) != 0) {
                expected.push_back(Fill(line, values));
            } else if (loaded_.facts.Is64Bit()) {
                expected.push_back(Fill(line.substr(3), values));
            }
        }
        EXPECT_EQ(Recorded(), expected) << s.name;
        // The window closes by itself: no step ended in "Finished".
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back(), "close window") << s.name;
    }
}

TEST_F(InstallSequenceOnWindows, UpdatesInPlaceAndStoresTheNewVersion) {
    const std::string install = root_.path() + "Program Dir\\Tarvano Test\\";
    WriteFile(kit_ + "Update Dir\\notes.txt", "notes");
    WriteFile(kit_ + "Update Dir\\lib\\data.bin", "data");
    WriteFile(kit_ + "Update Dir\\TARVANO_ROM_LOADER.EXE", "new loader");
    WriteFile(kit_ + "Cabinet Dir\\app update.cab", "cabinet");
    // Wine's expand.exe knows only "infile outfile": it writes every member of
    // a cabinet to that one name and has no /F: filter, so it cannot unpack
    // into a folder. A recorder in the cabinet folder, which the shell searches
    // first, takes its place; the command lines are what the update relies on.
    Recorder("Cabinet Dir\\expand.exe");
    WriteFile(install + "Tarvano ROM Loader.exe", "old loader");
    // The location as uninstall entries store it, with its closing backslash.
    ImportRegistry(root_, UninstallEntry("2.8.0", install, "MsiExec.exe /X{TQ-TEST-APP}"));
    Prepare();
    ASSERT_TRUE(detection_.install.applicationInstalled);
    ASSERT_TRUE(detection_.source.applicationUpdateAvailable);
    ASSERT_EQ(detection_.install.availableVersionText, "2.9.1");

    std::vector<std::string> shown;
    RecordingView view(shown, {Item::Application}, {});
    Run(view);

    EXPECT_EQ(ReadFile(install + "notes.txt"), "notes");
    EXPECT_EQ(ReadFile(install + "lib\\data.bin"), "data");
    EXPECT_EQ(ReadFile(install + "Tarvano ROM Loader.exe"), "new loader");
    EXPECT_FALSE(Exists(install + "TARVANO_ROM_LOADER.EXE"));
    const std::string store = loaded_.config.virtualStoreFolder;
    EXPECT_EQ(ReadFile(store + "\\notes.txt"), "notes");
    DeleteFileA((store + "\\notes.txt").c_str());
    RemoveDirectoryA(store.c_str());

    const std::vector<std::string> runs = Recorded();
    ASSERT_EQ(runs.size(), 2u);
    const char* masks[] = {"*.exe", "*.vi"};
    for (int i = 0; i < 2; ++i) {
        const std::vector<std::string> fields = Lines(Fill(runs[i], {{"|", "\n"}}));
        ASSERT_EQ(fields.size(), 3u) << runs[i];
        EXPECT_EQ(fields[0], "expand.exe");
        EXPECT_EQ(fields[2], kit_ + "Cabinet Dir");
        // Blanks and the folder's closing backslash do not split or run on.
        EXPECT_EQ(
            Arguments(fields[1]),
            (std::vector<std::string>{"app update.cab", std::string("/F:") + masks[i], install}));
    }
    using installer::RegistryView;
    EXPECT_EQ(system_.ReadRegistryValue(RegistryView::Native32, kAppKey, "DisplayVersion").text,
              "2.9.1");
    EXPECT_EQ(system_.ReadRegistryValue(RegistryView::Native32, kAppKey, "InstallLocation").text,
              install);
    const std::vector<std::string> end = {
        "cancel caption: Finished",
        "progress: ", "instructions: Update complete. Please click Finished. [bold 30+8]",
        "label: App installed: v2.9.1"};
    ASSERT_GE(shown.size(), end.size());
    EXPECT_EQ(std::vector<std::string>(shown.end() - end.size(), shown.end()), end);
}

}  // namespace
}  // namespace installertest
