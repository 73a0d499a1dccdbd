// The install sequence on the in-memory computer: every window change, message
// box, started program and machine change of a scenario, in order, against the
// log the scenario must produce.

#include "sequence.h"

#include <gtest/gtest.h>

#include <functional>

#include "kit_fixture.h"
#include "recording_view.h"

namespace installertest {
namespace {

const std::string K = kKitFolder;
const std::string kApp = "D:\\Tools\\Tarvano\\";  // InstallApplication's location
const std::string kAppKey = std::string(installer::kUninstallKey) + "\\{APP-GUID}";
const std::string kTemp = "C:\\Users\\me\\AppData\\Local\\Temp\\";
const std::string kUpToDate =
    "warning ok/cancel: The existing Tarvano application is already up-to-date.\rTo install "
    "anyway the existing Tarvano application needs to be uninstalled first.\r\rContinue anyway?";
const std::string kRunning =
    "warning ok/cancel: The existing Tarvano application is running! \rPlease close it and "
    "click OK or click Cancel to cancel the installation.";
const std::string kNotFound =
    "confirm ok/cancel: The Tarvano application folder was not found! Please locate where it "
    "is installed.";
const std::string kBrowse = "browse \"Select the Tarvano application folder\" -> ";
const std::string kRemoved =
    "confirm ok: The Legacy QuickUSB driver has been removed. \r\rTo re-install the new "
    "driver:\r    1. Connect the Tarvano and turn it on.\r    2. The \"Found New Hardware "
    "Wizard\" will show.\r    3. If it asks to connect to Windows Update to search for "
    "software, \r       select \"No, not this time\" and click \"Next\".\r    4. Select "
    "\"Install the software automatically\" and click \"Next\".\r\rWe recommmend you also "
    "update the firmware in the Tarvano. -> OK";
const std::vector<std::string> kFinish = {
    "cancel caption: Finished",
    "progress: ", "instructions: Update complete. Please click Finished. [bold 30+8]"};
const std::string kAppStep = "progress: Installing Tarvano Application...";
const std::string kAppRunCheck = "running? Tarvano.exe no";
const std::string kRunApp = "run setup.exe | /passive | " + K + "App";
const std::string kRuntimeStep = "progress: Installing Lumavise Runtime...";

std::vector<std::string> Lines(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The kit's INI with one text replaced.
void EditIni(FakeSystem& fake, const std::string& kind, const std::string& from,
             const std::string& to) {
    std::string ini = KitIni(kind);
    ini.replace(ini.find(from), from.size(), to);
    fake.AddFile(kIniPath, ini);
}

// A run-time installer the kit lacks, in a folder the kit lacks too.
void RuntimeNotInKit(FakeSystem& fake) {
    EditIni(fake, "", "RunRelativePath=LMRT", "RunRelativePath=Runtime");
}

// An installed application the Standard kit has no update folder for.
void InstalledWithoutUpdate(FakeSystem& fake, const std::string& version,
                            const std::string& uninstall) {
    EditIni(fake, "", "UpdateRelativePath=Update", "UpdateRelativePath=");
    InstallApplication(fake, version);
    fake.SetValue(kAppKey, "UninstallString", uninstall);
}

// An installed 2.8.0 with an update folder and a cabinet in the kit.
void UpdatableApplication(FakeSystem& fake) {
    InstallApplication(fake, "2.8.0");
    fake.AddFolder(kApp);
    fake.AddFile(K + "Update\\cab\\app.cab");
}

// A legacy driver with two driver instances (only the first INF file is ours)
// and one device instance with a subkey.
void LegacyDriver(FakeSystem& fake) {
    const std::string usb = std::string(installer::kClassKey) + "\\{USB-CLASS}";
    fake.SetValue(usb, "Class", "USB");
    const char* infs[] = {"oem5.inf", "oem9.inf"};
    for (int i = 0; i < 2; ++i) {
        const std::string instance = usb + "\\000" + std::to_string(i);
        fake.SetValue(instance, "ProviderName", "Tarvano");
        fake.SetValue(instance, "DriverVersion", "2.11.0.0");
        fake.SetValue(instance, "InfPath", infs[i]);
    }
    fake.AddFile("C:\\WINDOWS\\inf\\oem5.inf", "[Strings]\nMfgName=\"Tarvano\"\n");
    fake.AddFile("C:\\WINDOWS\\inf\\oem9.inf", "[Strings]\nMfgName=\"Another\"\n");
    const std::string device = std::string(installer::kLegacyDeviceKey) + "\\5&1";
    fake.SetValue(device, "DeviceDesc", "Tarvano TQ510A Mixed Signal Oscilloscope");
    fake.AddKey(RegistryView::Native32, device + "\\Device Parameters");
}
const std::string kUsb = std::string(installer::kClassKey) + "\\{USB-CLASS}\\";
const std::string kDevice = std::string(installer::kLegacyDeviceKey) + "\\5&1";

// The update in place of an application at `location` from the kit; `quoted`
// is the location as expand.exe gets it.
std::vector<std::string> UpdateInPlace(const std::string& location, const std::string& quoted,
                                       bool notes) {
    std::vector<std::string> lines = {"copy " + K + "Update\\*.* -> " +
                                      installer::WithTrailingBackslash(location)};
    if (notes) {
        lines.push_back("copy " + K +
                        "Update\\notes.txt -> C:\\Users\\me\\AppData\\Local\\VirtualStore\\"
                        "Program Files\\Tarvano\\notes.txt");
    }
    for (const char* mask : {"*.exe", "*.vi"}) {
        lines.push_back("run expand.exe | \"app.cab\" /F:" + std::string(mask) + " " + quoted +
                        " | " + K + "Update\\cab");
    }
    return lines;
}
std::string WriteKey(const std::string& location) {
    return "write 32:" + kAppKey + " DisplayVersion=2.9.1 InstallLocation=" + location;
}

struct Scenario {
    const char* name;
    const char* windows = "6.1";
    const char* architecture = "x86";
    const char* kind = "";
    std::function<void(FakeSystem&)> setup;
    std::set<Item> checked;
    std::deque<Answer> answers;
    std::vector<std::string> expected;  // after the preparation, before the label
    int cancelAtRun = 0;                // the user cancels while the n-th program runs
};

TEST(InstallSequence, CarriesOutEachScenarioInOrder) {
    const auto ok = Answer::Ok;
    const auto cancel = Answer::Cancel;
    const Scenario scenarios[] = {
        {"drivers only on XP: XP parameters, then finished and the window stays",
         "5.1",
         "x86",
         "",
         nullptr,
         {Item::TQ510A, Item::TQ510},
         {},
         Lines({{"progress: Installing Tarvano TQ510A Driver...",
                 "run dpinst.exe | /q | " + K + "Drivers\\TQ510A\\x86",
                 "progress: Installing Classic Tarvano TQ510 Driver...",
                 "run setup.exe | /s | " + K + "Drivers\\TQ510\\x86"},
                kFinish})},
        {"Vista on 64 bits: Vista parameters, OX-VISA twice",
         "6.1",
         "AMD64",
         "",
         nullptr,
         {Item::TQ510A, Item::Visa},
         {},
         Lines({{"progress: Installing Tarvano TQ510A Driver...",
                 "run dpinst.exe | /q /lm | " + K + "Drivers\\TQ510A\\amd64",
                 "progress: Installing OX-VISA Driver...", "run visa32.exe | /q | " + K + "VISA",
                 "run visa64.exe | /q | " + K + "VISA"},
                kFinish})},
        {"legacy removal on XP: our INF files and every key",
         "5.1",
         "x86",
         "",
         LegacyDriver,
         {Item::Legacy},
         {ok},
         Lines({{"progress: Removing Legacy QuickUSB Driver...", "windows directory",
                 "delete file C:\\WINDOWS\\inf\\oem5.inf", "delete file C:\\WINDOWS\\inf\\oem5.pnf",
                 "delete key " + kUsb + "0000", "delete key " + kUsb + "0001",
                 "delete protected key " + kDevice + "\\Device Parameters",
                 "delete protected key " + kDevice, kRemoved},
                kFinish})},
        {"legacy removal without the Windows folder: warning, keys still removed",
         "5.1",
         "x86",
         "",
         [](FakeSystem& f) {
             LegacyDriver(f);
             f.windowsDirectory.reset();
             f.windowsDirectoryError = "The system cannot find the path specified.";
         },
         {Item::Legacy},
         {ok, ok},
         Lines({{"progress: Removing Legacy QuickUSB Driver...", "windows directory",
                 "warning ok: The system cannot find the path specified. -> OK",
                 "delete key " + kUsb + "0000", "delete key " + kUsb + "0001",
                 "delete protected key " + kDevice + "\\Device Parameters",
                 "delete protected key " + kDevice, kRemoved},
                kFinish})},
        {"run time in the kit: no download, no bar",
         "6.1",
         "x86",
         "",
         nullptr,
         {Item::Runtime},
         {},
         {kRuntimeStep, "bar hidden", "run lmrt.exe | /q | " + K + "LMRT", "close window"}},
        {"run time downloaded: texts, poll, delete",
         "6.1",
         "x86",
         "",
         [](FakeSystem& f) {
             RuntimeNotInKit(f);
             f.processRunning["tqLMRTinstall.exe"] = {true, true, false};
         },
         {Item::Runtime},
         {},
         {"progress: Downloading Lumavise Runtime...", "bar shown",
          "download http://example.invalid/lmrt.exe -> " + kTemp + "tqLMRTinstall.exe",
          "progress: Download of Lumavise Runtime successful.", kRuntimeStep, "bar hidden",
          "run " + kTemp + "tqLMRTinstall.exe | /q | " + kTemp, "running? tqLMRTinstall.exe yes",
          "pause 250", "running? tqLMRTinstall.exe yes", "pause 250",
          "running? tqLMRTinstall.exe no", "delete file " + kTemp + "tqLMRTinstall.exe",
          "close window"}},
        {"failed download: an earlier file is removed, the attempt follows",
         "6.1",
         "x86",
         "",
         [](FakeSystem& f) {
             RuntimeNotInKit(f);
             f.downloadSucceeds = false;
             f.AddFile(kTemp + "tqLMRTinstall.exe", "left by an earlier run");
         },
         {Item::Runtime},
         {},
         {"progress: Downloading Lumavise Runtime...", "bar shown",
          "download http://example.invalid/lmrt.exe -> " + kTemp + "tqLMRTinstall.exe FAILS",
          "progress: Error in download of Lumavise Runtime.",
          "delete file " + kTemp + "tqLMRTinstall.exe", kRuntimeStep, "bar hidden",
          "run " + kTemp + "tqLMRTinstall.exe | /q | " + kTemp, "close window"}},
        {"application running: OK asks again, Cancel ends the step",
         "6.1",
         "x86",
         "",
         [](FakeSystem& f) {
             f.processRunning["Tarvano.exe"] = {true, true};
         },
         {Item::Application},
         {ok, cancel},
         {kAppStep, "running? Tarvano.exe yes", kRunning + " -> OK", "running? Tarvano.exe yes",
          kRunning + " -> Cancel", "close window"}},
        {"up to date, msiexec and a blank: /passive added",
         "6.1",
         "x86",
         "",
         [](FakeSystem& f) { InstalledWithoutUpdate(f, "2.9.1", "msiexec /x{APP-GUID}"); },
         {Item::Application},
         {ok},
         {kAppStep, kAppRunCheck, kUpToDate + " -> OK", "run msiexec | /x{APP-GUID} /passive | ",
          kRunApp, "close window"}},
        {"older, MsiExec.exe: no /passive",
         "6.1",
         "x86",
         "",
         [](FakeSystem& f) { InstalledWithoutUpdate(f, "2.8.0", "MsiExec.exe /X{APP-GUID}"); },
         {Item::Application},
         {ok},
         {kAppStep, kAppRunCheck,
          "confirm ok/cancel: The existing Tarvano application will be uninstalled first. -> OK",
          "run MsiExec.exe | /X{APP-GUID} | ", kRunApp, "close window"}},
        {"after the run time, an uninstall command without a blank: no parameters",
         "6.1",
         "x86",
         "",
         [](FakeSystem& f) { InstalledWithoutUpdate(f, "2.9.1", "C:\\Uninst\\remove.exe"); },
         {Item::Application, Item::Runtime},
         {ok},
         {kRuntimeStep, "bar hidden", "run lmrt.exe | /q | " + K + "LMRT", kAppStep, kAppRunCheck,
          kUpToDate + " -> OK", "run C:\\Uninst\\remove.exe |  | ", kRunApp, "close window"}},
        {"up to date, Cancel: nothing runs",
         "6.1",
         "x86",
         "",
         [](FakeSystem& f) { InstalledWithoutUpdate(f, "2.9.1", "msiexec /x{APP-GUID}"); },
         {Item::Application},
         {cancel},
         {kAppStep, kAppRunCheck, kUpToDate + " -> Cancel", "close window"}},
        {"update in place on Vista: notes copied, cabinet expanded, ROM loader renamed",
         "6.1",
         "x86",
         "",
         [](FakeSystem& f) {
             UpdatableApplication(f);
             f.AddFile(kApp + "TARVANO_ROM_LOADER.EXE");
         },
         {Item::Application},
         {},
         Lines({{kAppStep, kAppRunCheck},
                UpdateInPlace(kApp, "\"D:\\Tools\\Tarvano\\\\\"", true),
                {"delete file " + kApp + "Tarvano ROM Loader.exe",
                 "rename " + kApp + "TARVANO_ROM_LOADER.EXE -> " + kApp + "Tarvano ROM Loader.exe",
                 WriteKey(kApp)},
                kFinish})},
        {"update in place on XP: no notes copy, cabinet expanded",
         "5.1",
         "x86",
         "",
         UpdatableApplication,
         {Item::Application},
         {},
         Lines({{kAppStep, kAppRunCheck},
                UpdateInPlace(kApp, "\"D:\\Tools\\Tarvano\\\\\"", false),
                {WriteKey(kApp)},
                kFinish})},
        {"update copy fails: Close, and the window stays",
         "6.1",
         "x86",
         "",
         [](FakeSystem& f) {
             UpdatableApplication(f);
             f.failingCopies.insert(K + "Update\\*.*");
         },
         {Item::Application},
         {},
         {kAppStep, kAppRunCheck, "copy " + K + "Update\\*.* -> " + kApp + " FAILS",
          "cancel caption: Close", "progress: ",
          "instructions: Update could not copy the necessary files. Please click Close. [bold "
          "56+5]"}},
        {"application folder gone: the folder picked is updated and stored",
         "6.1",
         "x86",
         "",
         [](FakeSystem& f) {
             InstallApplication(f, "2.8.0");
             f.AddFile(K + "Update\\cab\\app.cab");
             f.AddFolder("E:\\Picked");
             f.browseChoice = "E:\\Picked";
         },
         {Item::Application},
         {ok},
         Lines({{kAppStep, kAppRunCheck, kNotFound + " -> OK", kBrowse + "E:\\Picked"},
                UpdateInPlace("E:\\Picked", "\"E:\\Picked\"", true),
                {WriteKey("E:\\Picked")},
                kFinish})},
        {"application folder gone, browser cancelled",
         "6.1",
         "x86",
         "",
         [](FakeSystem& f) { InstallApplication(f, "2.8.0"); },
         {Item::Application},
         {ok},
         {kAppStep, kAppRunCheck, kNotFound + " -> OK", kBrowse + "cancelled", "close window"}},
        {"update kit: an installed application is updated by its installer",
         "6.1",
         "x86",
         "update",
         UpdatableApplication,
         {Item::Application},
         {},
         {kAppStep, kAppRunCheck, kRunApp, "close window"}},
        {"cancel during OX-VISA 32: the 64-bit run still follows",
         "6.1",
         "AMD64",
         "",
         nullptr,
         {Item::Visa, Item::Runtime},
         {},
         {"progress: Installing OX-VISA Driver...", "run visa32.exe | /q | " + K + "VISA",
          "run visa64.exe | /q | " + K + "VISA", "close window"},
         1},
    };
    for (const Scenario& s : scenarios) {
        FakeSystem fake;
        MakeMachine(fake, s.windows, s.architecture);
        MakeKit(fake, s.kind);
        if (s.setup) s.setup(fake);
        Outcome outcome = LoadAndDetect(fake);
        RecordingView view(fake.writes, s.checked, s.answers);
        int runs = 0;
        fake.onRun = [&](const std::string&) { view.cancelled |= ++runs == s.cancelAtRun; };
        installer::RunInstallSequence(view, fake, outcome.loaded, outcome.detection);

        std::vector<std::string> expected = {
            "disable items",
            "instructions: The items you selected are being installed. Please wait."};
        expected.insert(expected.end(), s.expected.begin(), s.expected.end());
        // The label comes last, before the window closes, whatever ran.
        const auto close = expected.back() == "close window" ? expected.end() - 1 : expected.end();
        expected.insert(close, "label: App installed: v2.9.1");
        EXPECT_EQ(fake.writes, expected) << s.name;
    }
}

}  // namespace
}  // namespace installertest
