// The main window and the hyperlink dialog as real windows on a (virtual)
// display: what the controls show is read back from the windows themselves,
// with the computer and the kit laid out in memory. Screenshots are left as
// BMP files in a "screenshots" folder beside the program.

#include <gtest/gtest.h>

// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>
// clang-format on

#include <fstream>
#include <functional>
#include <vector>

#include "controls.h"
#include "dialog_hyperlink.h"
#include "form_main.h"
#include "kit_fixture.h"

namespace installertest {
namespace {

using installer::Answer;
using installer::Item;
using installer::MessageButtons;
using installer::MessageType;
using installer::TDialogHyperlink;
using installer::TFormMain;

// A main window whose message boxes are recorded instead of shown.
class RecordingForm : public TFormMain {
  public:
    using TFormMain::TFormMain;
    std::vector<std::string> messages;
    Answer ShowMessage(MessageType, MessageButtons, const std::string& text) override {
        messages.push_back(text);
        return Answer::Ok;
    }
};

// ---- reading windows back ----

struct Box {
    int left, top, width, height;
};

Box ClientBox(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

std::string Text(HWND window) {
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

// Face and height of a control's font: the rich texts' default character
// format, the font the others draw with.
std::string FontOf(HWND control) {
    if (_stricmp(ClassOf(control).c_str(), "RICHEDIT50W") == 0) {
        CHARFORMAT2W format = {};
        format.cbSize = sizeof format;
        SendMessageW(control, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
        char face[LF_FACESIZE] = {};
        WideCharToMultiByte(CP_ACP, 0, format.szFaceName, -1, face, sizeof face, nullptr, nullptr);
        return std::string(face) + " " + std::to_string(format.yHeight) + "tw";
    }
    LOGFONTA font = {};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    return std::string(font.lfFaceName) + " " + std::to_string(font.lfHeight);
}

// The rich text as the control keeps it (one "\r" a paragraph) or with "\r\n".
std::string RichText(HWND edit, DWORD flags) {
    char text[4096] = {};
    GETTEXTEX request = {sizeof text, flags, CP_ACP, nullptr, nullptr};
    SendMessageA(edit, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&request),
                 reinterpret_cast<LPARAM>(text));
    return text;
}

// Bold, underline and colour of characters [first, last) of a rich text,
// "mixed" where they differ.
std::string Style(HWND edit, LONG first, LONG last) {
    CHARRANGE range{first, last};
    SendMessageW(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    CHARFORMAT2W format = {};
    format.cbSize = sizeof format;
    SendMessageW(edit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    const auto effect = [&](DWORD mask, DWORD bit, const char* name) -> std::string {
        if (!(format.dwMask & mask)) return std::string("mixed-") + name + " ";
        return format.dwEffects & bit ? std::string(name) + " " : std::string();
    };
    std::string style =
        effect(CFM_BOLD, CFE_BOLD, "bold") + effect(CFM_UNDERLINE, CFE_UNDERLINE, "underline");
    if (!(format.dwEffects & CFE_AUTOCOLOR) && format.crTextColor != 0) {
        char colour[16];
        snprintf(colour, sizeof colour, "#%06lX", static_cast<unsigned long>(format.crTextColor));
        style += colour;
    }
    return style.empty() ? "plain" : style;
}

LONG FirstIndent(HWND edit, LONG at) {
    CHARRANGE range{at, at};
    SendMessageW(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    PARAFORMAT2 paragraph = {};
    paragraph.cbSize = sizeof paragraph;
    SendMessageW(edit, EM_GETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&paragraph));
    return paragraph.dxStartIndent;
}

// Lets the windows paint.
void Pump() {
    MSG message;
    for (int round = 0; round < 5; ++round) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) continue;  // a closed window's, not ours
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(20);
    }
}

// What the screen shows of `window`, saved as a 24-bit BMP file.
void Screenshot(HWND window, const std::string& name) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Pump();
    RECT r;
    GetWindowRect(window, &r);
    BITMAPINFOHEADER info = {
        sizeof info, r.right - r.left, r.bottom - r.top, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    info.biSizeImage = (info.biWidth * 3 + 3) / 4 * 4 * info.biHeight;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(memory, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                      &bits, nullptr, 0);
    HGDIOBJ former = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, info.biWidth, info.biHeight, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string folder = installer::FolderOf(path) + "screenshots\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    const DWORD headers = sizeof(BITMAPFILEHEADER) + sizeof info;
    BITMAPFILEHEADER file = {0x4D42, headers + info.biSizeImage, 0, 0, headers};
    std::ofstream out(folder + name + ".bmp", std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(static_cast<const char*>(bits), info.biSizeImage);
    SelectObject(memory, former);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

// Runs `action` once from a thread timer, that is from inside whatever
// message loop runs next, such as a modal dialog's.
std::function<void()> pendingAction;
void CALLBACK RunPendingAction(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    auto run = std::move(pendingAction);
    pendingAction = nullptr;
    if (run) run();
}
void ScheduleAction(std::function<void()> action) {
    pendingAction = std::move(action);
    SetTimer(nullptr, 0, 100, RunPendingAction);
}

// ---- computers ----

enum class Computer { Fresh, UpdateReady, AllCurrent, OnlyApplicationMissing };

void Prepare(FakeSystem& fake, const std::string& kind, Computer computer) {
    MakeMachine(fake, "6.1", "x86");
    MakeKit(fake, kind);
    if (computer == Computer::Fresh) return;
    AddUninstallEntry(fake, RegistryView::Native32, "VISA", "OX-VISA 4.4");
    InstallRuntime(fake, "8.5");
    if (computer == Computer::UpdateReady) return;
    AddUninstallEntry(fake, RegistryView::Native32, "TQ510", "Tarvano TQ510 Driver");
    AddUninstallEntry(fake, RegistryView::Native32, "TQ510A", kTQ510AName);
    if (computer == Computer::AllCurrent) InstallApplication(fake, "2.9.1");
}

// A main window made and started on `machine`, hidden unless a start-up
// dialog showed it; closed at the end of the test.
struct Started {
    explicit Started(FakeSystem& machine) : form(machine) {
        EXPECT_TRUE(form.Create("Tarvano Installer"));
        form.FormCreate();
    }
    ~Started() {
        DestroyWindow(form.Handle());
        Pump();
    }
    HWND operator()(TFormMain::ControlId id) const { return form.Control(id); }
    RecordingForm form;
};

// ---- the main window ----

// A control as "class left,top widthxheight visible-enabled font|text"; the
// width of a label sized to its text is left out.
std::string Describe(HWND control) {
    Box box = ClientBox(control);
    const bool autoSized = GetDlgCtrlID(control) >= TFormMain::kInstallerVersion &&
                           GetDlgCtrlID(control) <= TFormMain::kAvailableVersion;
    return ClassOf(control) + " " + std::to_string(box.left) + "," + std::to_string(box.top) + " " +
           (autoSized ? "" : std::to_string(box.width)) + "x" + std::to_string(box.height) + " " +
           ((GetWindowLongA(control, GWL_STYLE) & WS_VISIBLE) ? "V" : "-") +
           (IsWindowEnabled(control) ? "E " : "- ") + FontOf(control) + "|" + Text(control);
}

TEST(MainWindow, IsLaidOutAsDesigned) {
    FakeSystem machine;
    RecordingForm form(machine);
    ASSERT_TRUE(form.Create("Tarvano Installer"));
    using F = TFormMain;
    // The rich texts' Tahoma -11 is 165 twips at 96 dots an inch.
    const std::pair<F::ControlId, const char*> rows[] = {
        {F::kTitle, "Static 275,16 194x50 VE Tahoma -21|Welcome to the Tarvano Installer"},
        {F::kBevel1, "Static 16,88 500x2 VE MS Sans Serif -11|"},
        {F::kBevel2, "Static 16,376 500x2 VE MS Sans Serif -11|"},
        {F::kLogo, "Static 16,16 201x49 VE MS Sans Serif -11|"},
        {F::kInstallerVersion, "Static 16,378 x13 VE MS Sans Serif -11|"},
        {F::kInstalledVersion, "Static 16,391 x13 VE MS Sans Serif -11|"},
        {F::kAvailableVersion, "Static 16,404 x13 VE MS Sans Serif -11|"},
        {F::kCancelButton, "Button 424,392 81x25 VE MS Sans Serif -11|Cancel"},
        {F::kInstallButton, "Button 328,392 81x25 VE MS Sans Serif -11|Install"},
        {F::kTQ510ADriver,
         "Button 40,159 385x17 VE MS Sans Serif -11|Install Tarvano TQ510A Driver"},
        {F::kTQ510Driver,
         "Button 40,183 385x17 VE MS Sans Serif -11|Install Classic Tarvano TQ510 Driver"},
        {F::kVisaDriver, "Button 40,207 385x17 V- MS Sans Serif -11|Install OX-VISA Driver"},
        {F::kApplication, "Button 40,231 385x17 VE MS Sans Serif -11|Install Tarvano Application"},
        {F::kInstructions, "RichEdit50W 16,112 505x17 VE Tahoma 165tw|"},
        {F::kProgressText, "RichEdit50W 40,303 476x42 VE Tahoma 165tw|"},
        {F::kRemoveLegacyDriver,
         "Button 40,135 385x17 -E MS Sans Serif -11|Remove Legacy QuickUSB Driver"},
        {F::kRuntime, "Button 40,255 386x17 VE MS Sans Serif -11|Install Lumavise Runtime"},
        {F::kProgressBar, "msctls_progress32 40,327 450x17 -E MS Sans Serif -11|"},
    };
    for (const auto& [id, expected] : rows) EXPECT_EQ(Describe(form.Control(id)), expected);
    // Tab order: Cancel, then Install.
    EXPECT_EQ(GetWindow(form.Control(F::kInstallButton), GW_HWNDPREV),
              form.Control(F::kCancelButton));

    EXPECT_EQ(Text(form.Handle()), "Tarvano Installer");
    RECT outer;
    GetWindowRect(form.Handle(), &outer);
    EXPECT_EQ(outer.right - outer.left, TFormMain::kWidth);
    EXPECT_EQ(outer.bottom - outer.top, TFormMain::kHeight);
    EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - TFormMain::kWidth) / 2);
    EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - TFormMain::kHeight) / 2);
    LOGBRUSH brush = {};
    GetObjectA(reinterpret_cast<HBRUSH>(GetClassLongPtrA(form.Handle(), GCLP_HBRBACKGROUND)),
               sizeof brush, &brush);
    EXPECT_EQ(brush.lbColor, 15531764u);
    // The version labels write in silver, the boxes in the window text colour.
    HDC dc = CreateCompatibleDC(nullptr);
    for (auto [id, colour] : {std::pair{F::kInstalledVersion, RGB(192, 192, 192)},
                              std::pair{F::kApplication, GetSysColor(COLOR_WINDOWTEXT)}}) {
        SendMessageA(form.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(form.Control(id)));
        EXPECT_EQ(GetTextColor(dc), colour) << id;
    }
    DeleteDC(dc);
    DestroyWindow(form.Handle());
    Pump();
}

// One box as "caption|checked enabled visible|top".
std::string Shown(const TFormMain& form, Item item) {
    HWND box = form.Control(TFormMain::ControlOf(item));
    return Text(box) + "|" + (SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED ? "C" : "-") +
           (IsWindowEnabled(box) ? "E" : "-") +
           ((GetWindowLongA(box, GWL_STYLE) & WS_VISIBLE) ? "V" : "-") + "|" +
           std::to_string(ClientBox(box).top);
}

TEST(MainWindow, ShowsTheStartUpSelection) {
    struct Case {
        const char* kind;
        Computer computer;
        std::array<const char*, installer::kItemCount> boxes;  // legacy, TQ510A, TQ510, OX-VISA,
                                                               // run time, application
        bool install;
        const char* labels;
    };
    const Case cases[] = {
        {"",
         Computer::Fresh,
         {"Remove Legacy QuickUSB Driver|---|135", "Install Tarvano TQ510A Driver|CEV|159",
          "Install Classic Tarvano TQ510 Driver|-EV|183", "Install OX-VISA Driver|C-V|207",
          "Install Lumavise Runtime|CEV|255", "Install Tarvano Application Software|CEV|231"},
         true,
         "Installer: v2.9.1.0 App installed: no App available: v2.9.1"},
        {"update",
         Computer::UpdateReady,
         {"Remove Legacy QuickUSB Driver|---|135", "Install Tarvano TQ510A Driver|CEV|159",
          "Install Classic Tarvano TQ510 Driver|-EV|183", "OX-VISA Driver is up-to-date|---|207",
          "Lumavise Runtime is up-to-date|---|231", "Install Tarvano Application Software|CEV|207"},
         true,
         "Installer: v2.9.1.0 App installed: no App available: v2.9.1"},
        {"",
         Computer::AllCurrent,
         {"Remove Legacy QuickUSB Driver|---|135", "Tarvano TQ510A Driver is up-to-date|-EV|159",
          "Classic Tarvano TQ510 Driver is up-to-date|-EV|183",
          "OX-VISA Driver is up-to-date|--V|207", "Lumavise Runtime is up-to-date|-EV|255",
          "Tarvano Application is up-to-date|-EV|231"},
         false,
         "Installer: v2.9.1.0 App installed: v2.9.1 App available: v2.9.1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("kind '") + c.kind + "', computer " +
                     std::to_string(static_cast<int>(c.computer)));
        FakeSystem machine;
        Prepare(machine, c.kind, c.computer);
        Started started(machine);
        EXPECT_TRUE(started.form.messages.empty());
        EXPECT_FALSE(started.form.CloseAtOnce());
        for (std::size_t i = 0; i < installer::kItemCount; ++i) {
            EXPECT_EQ(Shown(started.form, static_cast<Item>(i)), c.boxes[i]) << "box " << i;
        }
        EXPECT_EQ(IsWindowEnabled(started(TFormMain::kInstallButton)) != 0, c.install);
        EXPECT_EQ(Text(started(TFormMain::kInstallerVersion)) + " " +
                      Text(started(TFormMain::kInstalledVersion)) + " " +
                      Text(started(TFormMain::kAvailableVersion)),
                  c.labels);
        const HWND instructions = started(TFormMain::kInstructions);
        EXPECT_EQ(RichText(instructions, GT_DEFAULT),
                  "Select the items to install and click Install. A typical installation has "
                  "been pre-selected.");
        EXPECT_EQ(Style(instructions, 37, 38), "plain");
        EXPECT_EQ(Style(instructions, 38, 45), "bold ");
        EXPECT_EQ(Style(instructions, 45, 46), "plain");
    }
}

TEST(MainWindow, ClickingTheOnlyCheckedBoxTogglesInstall) {
    FakeSystem machine;
    Prepare(machine, "", Computer::OnlyApplicationMissing);
    Started started(machine);
    ShowWindow(started.form.Handle(), SW_SHOWNORMAL);
    Pump();
    const HWND application = started(TFormMain::kApplication);
    const HWND install = started(TFormMain::kInstallButton);
    ASSERT_EQ(SendMessageA(application, BM_GETCHECK, 0, 0), BST_CHECKED);
    ASSERT_TRUE(IsWindowEnabled(install));
    for (bool checked : {false, true, false}) {
        SendMessageA(application, BM_CLICK, 0, 0);
        EXPECT_EQ(SendMessageA(application, BM_GETCHECK, 0, 0) == BST_CHECKED, checked);
        EXPECT_EQ(IsWindowEnabled(install) != 0, checked);
    }
}

TEST(MainWindow, ShowsDownloadProgressOverTheProgressText) {
    FakeSystem machine;
    Prepare(machine, "", Computer::Fresh);
    Started started(machine);
    const HWND bar = started(TFormMain::kProgressBar);
    started.form.ShowProgressBar(true);
    started.form.SetProgressRange(5000);
    started.form.SetProgressPosition(1024);
    started.form.SetProgressText("Downloading Lumavise Runtime, 3 kB remaining...");
    EXPECT_TRUE(GetWindowLongA(bar, GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(GetWindow(bar, GW_HWNDFIRST), bar);  // the topmost control
    EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 5000);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 1024);
    EXPECT_EQ(RichText(started(TFormMain::kProgressText), GT_DEFAULT),
              "Downloading Lumavise Runtime, 3 kB remaining...");
    started.form.ShowProgressBar(false);
    EXPECT_FALSE(GetWindowLongA(bar, GWL_STYLE) & WS_VISIBLE);
}

TEST(MainWindow, InstallRunsTheCheckedItemsAndFinishesOrCloses) {
    struct Case {
        std::vector<Item> unchecked;  // clicked off before Install
        const char* firstRun;
        bool staysOpen;  // with "Finished" and the finish instructions
    };
    const Case cases[] = {
        {{Item::Application, Item::Runtime},
         "run dpinst.exe | /q /lm | C:\\Kits\\Tarvix 2.9.1\\Drivers\\TQ510A\\x86",
         true},
        {{Item::TQ510A}, "run visa32.exe | /q | C:\\Kits\\Tarvix 2.9.1\\VISA", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firstRun);
        FakeSystem machine;
        Prepare(machine, "", Computer::Fresh);
        Started started(machine);
        ShowWindow(started.form.Handle(), SW_SHOWNORMAL);
        for (Item item : c.unchecked) {
            SendMessageA(started(TFormMain::ControlOf(item)), BM_CLICK, 0, 0);
        }
        const HWND window = started.form.Handle();
        SendMessageA(started(TFormMain::kInstallButton), BM_CLICK, 0, 0);
        ASSERT_FALSE(machine.writes.empty());
        EXPECT_EQ(machine.writes.front(), c.firstRun);
        EXPECT_EQ(IsWindow(window) != 0, c.staysOpen);
        if (!c.staysOpen) continue;
        EXPECT_EQ(Text(started(TFormMain::kCancelButton)), "Finished");
        const HWND instructions = started(TFormMain::kInstructions);
        EXPECT_EQ(RichText(instructions, GT_DEFAULT), "Update complete. Please click Finished.");
        EXPECT_EQ(Style(instructions, 30, 38), "bold ");
        EXPECT_FALSE(IsWindowEnabled(started(TFormMain::kInstallButton)));
        EXPECT_FALSE(IsWindowEnabled(started(TFormMain::kTQ510ADriver)));
        EXPECT_EQ(Text(started(TFormMain::kInstalledVersion)), "App installed: v2.9.1");
    }
}

TEST(MainWindow, CancelEscAndTheCloseBoxStopTheInstallerAndClose) {
    struct Case {
        const char* name;
        UINT message;
        WPARAM wparam;
        bool toCancelButton;  // else to the window
    };
    const Case cases[] = {
        {"Cancel clicked", BM_CLICK, 0, true},
        {"Esc pressed", WM_KEYDOWN, VK_ESCAPE, true},
        {"close box", WM_SYSCOMMAND, SC_CLOSE, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSystem machine;
        Prepare(machine, "", Computer::Fresh);
        Started started(machine);
        RecordingForm& form = started.form;
        ShowWindow(form.Handle(), SW_SHOWNORMAL);
        ASSERT_FALSE(form.CancelRequested());
        const HWND window = form.Handle();
        PostMessageA(c.toCancelButton ? started(TFormMain::kCancelButton) : window, c.message,
                     c.wparam, 0);
        form.RunMessageLoop();  // ends when the window is gone
        EXPECT_FALSE(IsWindow(window));
        EXPECT_TRUE(form.CancelRequested());
        // What the install sequence may still do after the window closed.
        form.CloseWindow();
        form.SetProgressText("Installing Tarvano Application...");
        EXPECT_FALSE(form.Checked(Item::Application));
    }
}

TEST(MainWindow, AsksWithTheSystemsMessageBoxes) {
    struct Case {
        MessageType type;
        MessageButtons buttons;
        const char* caption;
        int press;
        Answer answer;
    };
    const Case cases[] = {
        {MessageType::Warning, MessageButtons::OkCancel, "Warning", IDCANCEL, Answer::Cancel},
        {MessageType::Confirmation, MessageButtons::OkCancel, "Confirm", IDOK, Answer::Ok},
        {MessageType::Confirmation, MessageButtons::Ok, "Confirm", IDOK, Answer::Ok},
    };
    FakeSystem machine;
    TFormMain form(machine);
    ASSERT_TRUE(form.Create("Tarvano Installer"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        std::string shown;
        ScheduleAction([&] {
            const HWND box = FindWindowA("#32770", c.caption);
            shown = Text(GetDlgItem(box, 0xFFFF));  // the message text
            EXPECT_EQ(GetDlgItem(box, IDCANCEL) != nullptr, c.buttons == MessageButtons::OkCancel);
            PostMessageA(box, WM_COMMAND, c.press, 0);
        });
        EXPECT_EQ(form.ShowMessage(c.type, c.buttons, "Line one.\rLine two."), c.answer);
        EXPECT_EQ(shown, "Line one.\rLine two.");
    }
    DestroyWindow(form.Handle());
    Pump();
}

TEST(MainWindow, WarnsAboutAnOutOfDateIniAndAnUnknownKitVersion) {
    FakeSystem machine;
    MakeMachine(machine, "6.1", "x86");
    machine.exePath = "C:\\Kit\\TarvanoInstaller.exe";  // no INI, no version in the name
    // Nothing in this kit serves the computer: end the start-up dialog.
    ScheduleAction([] { SendMessageA(FindWindowA("TDialogHyperlink", nullptr), WM_CLOSE, 0, 0); });
    Started started(machine);
    EXPECT_EQ(started.form.messages,
              (std::vector<std::string>{installer::kIniVersionWarning, installer::kLabelWarning}));
}

TEST(MainWindow, ScreenshotOfAFreshComputerWithAStandardKit) {
    FakeSystem machine;
    Prepare(machine, "", Computer::Fresh);
    Started started(machine);
    ShowWindow(started.form.Handle(), SW_SHOWNORMAL);
    Pump();
    Screenshot(started.form.Handle(), "main-standard");
    // The empty band right of the boxes shows the window's colour.
    POINT inside{520, 200};
    ClientToScreen(started.form.Handle(), &inside);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetPixel(screen, inside.x, inside.y), installer::kFormColour);
    ReleaseDC(nullptr, screen);
}

// ---- the start-up dialogs ----

struct DialogCase {
    const char* name;
    const char* exePath;
    const char* kind;
    Computer computer;
    const char* caption;
    const char* text;  // with "\r\n" line breaks
    const char* bold;  // the word shown bold, or ""
    const char* link;  // the address shown as a link, or ""
    bool endWithOK;    // else with the close box
};

void ExpectDialog(HWND dialog, const DialogCase& c) {
    EXPECT_EQ(Text(dialog), c.caption);
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, TDialogHyperlink::kClientWidth);
    EXPECT_EQ(client.bottom, TDialogHyperlink::kClientHeight);
    RECT mine, owner;
    GetWindowRect(dialog, &mine);
    GetWindowRect(GetWindow(dialog, GW_OWNER), &owner);
    EXPECT_NEAR(mine.left + mine.right, owner.left + owner.right, 1);
    EXPECT_NEAR(mine.top + mine.bottom, owner.top + owner.bottom, 1);
    EXPECT_FALSE(IsWindowEnabled(GetWindow(dialog, GW_OWNER)));

    const HWND edit = GetDlgItem(dialog, TDialogHyperlink::kMessageText);
    EXPECT_EQ(Describe(edit),
              "RichEdit50W 16,16 409x137 VE Tahoma 165tw|" + RichText(edit, GT_USECRLF));
    EXPECT_EQ(Describe(GetDlgItem(dialog, TDialogHyperlink::kOKButton)),
              "Button 336,184 75x25 VE MS Sans Serif -11|OK");
    EXPECT_EQ(Describe(GetDlgItem(dialog, TDialogHyperlink::kBevel2)),
              "Static 16,173 409x2 VE MS Sans Serif -11|");
    EXPECT_EQ(RichText(edit, GT_USECRLF), c.text);

    // Ranges found in the control's own text, where a paragraph is one "\r".
    const std::string own = RichText(edit, GT_DEFAULT);
    for (auto [word, style] :
         {std::pair{c.bold, "bold "}, std::pair{c.link, "underline #FF0000"}}) {
        if (!*word) continue;
        const LONG first = static_cast<LONG>(own.find(word));
        const LONG last = first + static_cast<LONG>(strlen(word));
        ASSERT_NE(own.find(word), std::string::npos) << word;
        EXPECT_EQ(Style(edit, first, last), style) << word;
        EXPECT_EQ(Style(edit, first - 1, first), "plain") << word;
        EXPECT_EQ(Style(edit, last, last + 1), "plain") << word;
    }
    if (*c.link) {
        EXPECT_EQ(FirstIndent(edit, static_cast<LONG>(own.find(c.link))), 200);
        EXPECT_EQ(FirstIndent(edit, 0), 0);
    }
    const bool none = Style(edit, 0, static_cast<LONG>(own.size())) == "plain";
    EXPECT_EQ(none, !*c.bold && !*c.link);
}

TEST(StartupDialog, TellsWhyTheInstallerClosesAndEnds) {
    const DialogCase cases[] = {
        {"dialog-zip", "C:\\Kits\\Tarvix 2.9.1.zip\\TarvanoInstaller.exe", "update",
         Computer::Fresh, "Extract from ZIP then run again",
         "You cannot install from inside the zip file. \r\n\r\nPlease move the Tarvix folder out "
         "of the zip file to the hard disk and try again. ",
         "Tarvix", "", true},
        {"dialog-download", kExePath, "update", Computer::UpdateReady, "Download needed",
         "The necessary runtime support is not installed on this computer and it is not included "
         "in this update.\r\n\r\nYou will need to download the update from here:\r\n"
         "http://example.invalid/update\r\n\r\nThis installer will now close.",
         "", "http://example.invalid/update", false},
        {"dialog-full-install", kExePath, "update", Computer::Fresh, "Full install needed",
         "The necessary runtime support is not installed on this computer and it is not included "
         "in this update.\r\n\r\nYou will need to do a full install from here (310 MB):\r\n"
         "http://example.invalid/full\r\n\r\nThis installer will now close.",
         "", "http://example.invalid/full", true},
    };
    for (const DialogCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSystem machine;
        Prepare(machine, c.kind, c.computer);
        machine.exePath = c.exePath;
        std::string ini = KitIni(c.kind);
        if (c.computer == Computer::UpdateReady) {
            // The kit lacks the classic driver that the computer lacks too.
            ini.replace(ini.find("tq510.inf"), 9, "none.inf");
        }
        machine.AddFile(installer::ReplaceExtension(c.exePath, ".ini"), ini);
        bool seen = false;
        ScheduleAction([&] {
            const HWND dialog = FindWindowA("TDialogHyperlink", nullptr);
            ASSERT_NE(dialog, nullptr);
            seen = true;
            ExpectDialog(dialog, c);
            Screenshot(dialog, c.name);
            if (c.endWithOK) {
                SendMessageA(GetDlgItem(dialog, TDialogHyperlink::kOKButton), BM_CLICK, 0, 0);
            } else {
                SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            }
        });
        Started started(machine);
        EXPECT_TRUE(seen);
        EXPECT_TRUE(started.form.CloseAtOnce());
        EXPECT_TRUE(IsWindowEnabled(started.form.Handle()));
        EXPECT_FALSE(IsWindowVisible(FindWindowA("TDialogHyperlink", nullptr)));
    }
}

TEST(HyperlinkDialog, EndsWithCancelAndOpensOnlyAGivenLink) {
    struct Case {
        const char* link;
        UINT ending;  // the message that ends the dialog
        UINT click;
        LPARAM at;
        bool opened;
    };
    const Case cases[] = {
        {"http://example.invalid/full", WM_CLOSE, WM_LBUTTONUP, MAKELPARAM(2, 2), true},
        {"http://example.invalid/full", WM_COMMAND, WM_RBUTTONUP, MAKELPARAM(400, 130), true},
        {"", WM_COMMAND, WM_LBUTTONUP, MAKELPARAM(100, 60), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("link '") + c.link + "'");
        TDialogHyperlink dialog(nullptr);
        std::vector<std::string> opened;
        dialog.openLink = [&](const std::string& link) { opened.push_back(link); };
        dialog.SetLink(c.link);
        ScheduleAction([&] {
            SendMessageA(dialog.MessageText(), c.click, 0, c.at);
            SendMessageA(dialog.Handle(), c.ending, c.ending == WM_COMMAND ? IDOK : 0, 0);
        });
        EXPECT_EQ(dialog.ShowModal(), TDialogHyperlink::mrCancel);
        EXPECT_EQ(opened, c.opened ? std::vector<std::string>{c.link} : std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace installertest
