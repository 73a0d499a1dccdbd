#include "form_main.h"

#include <atomic>

// clang-format off
#include <commctrl.h>
// clang-format on

#include "controls.h"
#include "dialog_hyperlink.h"

namespace installer {
namespace {

constexpr char kClassName[] = "TFormMain";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr char kSelectText[] =
    "Select the items to install and click Install. A typical installation has been "
    "pre-selected.";
constexpr TextRange kSelectBold{38, 7};  // "Install"
constexpr int kLabelHeight = 13;

// Set by Cancel and by closing the window; read by the install sequence and
// the download between their steps.
std::atomic<bool> cancelFlag{false};

constexpr DWORD kCheckBox = WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr DWORD kLabel = WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
constexpr DWORD kRichText = WS_VISIBLE | ES_MULTILINE | ES_READONLY;

using F = TFormMain;
// Created in tab order: the buttons first, then as the window declares them.
const ControlDesign kControls[] = {
    {F::kCancelButton, "BUTTON", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 424, 392, 81, 25,
     "Cancel"},
    {F::kInstallButton, "BUTTON", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 328, 392, 81, 25,
     "Install"},
    {F::kTitle, "STATIC", kLabel, 275, 16, 194, 50, "Welcome to the Tarvano Installer",
     FontKind::Title},
    {F::kBevel1, "STATIC", kBevelStyle, 16, 88, 500, 2, ""},
    {F::kBevel2, "STATIC", kBevelStyle, 16, 376, 500, 2, ""},
    {F::kLogo, "STATIC", WS_VISIBLE | SS_OWNERDRAW, 16, 16, 201, 49, ""},
    {F::kInstallerVersion, "STATIC", kLabel, 16, 378, 0, kLabelHeight, ""},
    {F::kInstalledVersion, "STATIC", kLabel, 16, 391, 0, kLabelHeight, ""},
    {F::kAvailableVersion, "STATIC", kLabel, 16, 404, 0, kLabelHeight, ""},
    {F::kTQ510ADriver, "BUTTON", kCheckBox, 40, 159, 385, 17, "Install Tarvano TQ510A Driver"},
    {F::kTQ510Driver, "BUTTON", kCheckBox, 40, 183, 385, 17,
     "Install Classic Tarvano TQ510 Driver"},
    {F::kVisaDriver, "BUTTON", kCheckBox | WS_DISABLED, 40, 207, 385, 17, "Install OX-VISA Driver"},
    {F::kApplication, "BUTTON", kCheckBox, 40, 231, 385, 17, "Install Tarvano Application"},
    {F::kInstructions, nullptr, kRichText, 16, 112, 505, 17, "", FontKind::Text},
    {F::kProgressText, nullptr, kRichText, 40, 303, 476, 42, "", FontKind::Text},
    {F::kRemoveLegacyDriver, "BUTTON", kCheckBox & ~WS_VISIBLE, 40, 135, 385, 17,
     "Remove Legacy QuickUSB Driver"},
    {F::kRuntime, "BUTTON", kCheckBox, 40, 255, 386, 17, "Install Lumavise Runtime"},
    {F::kProgressBar, PROGRESS_CLASSA, 0, 40, 327, 450, 17, ""},
};

constexpr TFormMain::ControlId kItemControls[kItemCount] = {
    F::kRemoveLegacyDriver, F::kTQ510ADriver, F::kTQ510Driver,
    F::kVisaDriver,         F::kRuntime,      F::kApplication};

bool IsLabel(int id) {
    return id == F::kInstallerVersion || id == F::kInstalledVersion || id == F::kAvailableVersion;
}

// Width and height of `text` in the control's font, as an auto-sized label.
SIZE TextExtent(HWND control, const std::string& text) {
    SIZE size{0, 0};
    HDC dc = GetDC(control);
    HGDIOBJ former =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
    GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &size);
    SelectObject(dc, former);
    ReleaseDC(control, dc);
    return size;
}

}  // namespace

TFormMain::TFormMain(InstallSystem& system) : system_(system) {}

TFormMain::~TFormMain() {
    if (logo_) DeleteObject(logo_);
}

TFormMain::ControlId TFormMain::ControlOf(Item item) {
    return kItemControls[static_cast<std::size_t>(item)];
}

bool TFormMain::Create(const std::string& caption) {
    INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX),
                                 ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&classes);
    const int left = (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
    if (!CreateForm(kClassName, caption.c_str(), kStyle, WS_EX_CONTROLPARENT,
                    RECT{left, top, left + kWidth, top + kHeight}, nullptr)) {
        return false;
    }
    logo_ =
        static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kLogoBitmap),
                                        IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    CreateControls();
    return true;
}

void TFormMain::CreateControls() {
    for (ControlDesign design : kControls) {
        if (!design.className) design.className = RichEditClass();
        HWND control = CreateControl(Handle(), design);
        if (design.className == RichEditClass()) PrepareRichEdit(control);
    }
    SendMessageA(Control(kProgressBar), PBM_SETRANGE32, 0, 100);
}

void TFormMain::FormCreate() {
    SetInstructions(kSelectText, kSelectBold);
    SetProgressText("");
    ShowWindow(Control(kRemoveLegacyDriver), SW_HIDE);
    ShowWindow(Control(kRuntime), SW_HIDE);
    for (ControlId id : kItemControls) EnableWindow(Control(id), FALSE);
    EnableWindow(Control(kInstallButton), FALSE);
    cancelFlag = false;
    closeAtOnce_ = false;

    loaded_ = LoadConfiguration(system_);
    if (loaded_.versionWarning) {
        ShowMessage(MessageType::Warning, MessageButtons::Ok, kIniVersionWarning);
    }
    detection_ = DetectInstalledState(system_, loaded_.config, loaded_.facts);
    if (detection_.labelWarning) {
        ShowMessage(MessageType::Warning, MessageButtons::Ok, kLabelWarning);
    }
    ShowItems(SelectItems(loaded_, detection_));

    if (const auto message = StartupDialog(loaded_, detection_)) {
        ShowWindow(Handle(), SW_SHOWNORMAL);
        UpdateWindow(Handle());
        ShowStartupDialog(*message);
        closeAtOnce_ = true;
    }
}

void TFormMain::ShowItems(const MainWindowState& state) {
    for (std::size_t i = 0; i < kItemCount; ++i) {
        const ItemBox& box = state.boxes[i];
        HWND control = Control(kItemControls[i]);
        SetWindowTextA(control, box.caption.c_str());
        SetChecked(static_cast<Item>(i), box.checked);
        EnableWindow(control, box.enabled);
        ShowWindow(control, box.visible ? SW_SHOWNA : SW_HIDE);
        SetWindowPos(control, nullptr, box.left, box.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SetLabel(kInstallerVersion, state.installerVersion);
    SetLabel(kInstalledVersion, state.installedVersion);
    SetLabel(kAvailableVersion, state.availableVersion);
}

void TFormMain::SetChecked(Item item, bool checked) {
    HWND control = Control(ControlOf(item));
    if ((SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED) == checked) return;
    SendMessageA(control, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    UpdateInstallButtonEnable();
}

void TFormMain::SetLabel(ControlId id, const std::string& text) {
    HWND control = Control(id);
    SetWindowTextA(control, text.c_str());
    const SIZE size = TextExtent(control, text);
    SetWindowPos(control, nullptr, 0, 0, size.cx, kLabelHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TFormMain::ShowStartupDialog(const StartupMessage& message) {
    TDialogHyperlink dialog(Handle());
    dialog.SetMessage(message);
    dialog.ShowModal();
}

int TFormMain::RunMessageLoop() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (Handle() && IsDialogMessageA(Handle(), &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

void TFormMain::UpdateInstallButtonEnable() {
    bool any = false;
    for (std::size_t i = 0; i < kItemCount; ++i) any = any || Checked(static_cast<Item>(i));
    EnableWindow(Control(kInstallButton), any);
}

void TFormMain::CancelButtonClick() {
    cancelFlag = true;
    CloseWindow();
}

void TFormMain::InstallButtonClick() {
    // Enter reaches here also while the button is disabled.
    if (!IsWindowEnabled(Control(kInstallButton))) return;
    RunInstallSequence(*this, system_, loaded_, detection_);
}

bool TFormMain::Checked(Item item) {
    return SendMessageA(Control(ControlOf(item)), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TFormMain::DisableItems() {
    for (ControlId id : kItemControls) EnableWindow(Control(id), FALSE);
    EnableWindow(Control(kInstallButton), FALSE);
}

void TFormMain::SetInstructions(const std::string& text, std::optional<TextRange> bold) {
    HWND control = Control(kInstructions);
    SetRichText(control, text);
    if (bold) MakeBold(control, text, *bold);
}

void TFormMain::SetProgressText(const std::string& text) {
    HWND control = Control(kProgressText);
    SetRichText(control, text);
    // The download shows progress without handling messages.
    UpdateWindow(control);
}

void TFormMain::ShowProgressBar(bool visible) {
    // Over the progress text, which it overlaps.
    SetWindowPos(
        Control(kProgressBar), HWND_TOP, 0, 0, 0, 0,
        SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | (visible ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
}

void TFormMain::SetProgressRange(std::uint32_t maximum) {
    SendMessageA(Control(kProgressBar), PBM_SETRANGE32, 0, static_cast<LPARAM>(maximum));
}

void TFormMain::SetProgressPosition(std::uint32_t position) {
    HWND bar = Control(kProgressBar);
    SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    UpdateWindow(bar);
}

void TFormMain::SetCancelCaption(const std::string& caption) {
    SetWindowTextA(Control(kCancelButton), caption.c_str());
}

void TFormMain::SetInstalledVersionLabel(const std::string& text) {
    SetLabel(kInstalledVersion, text);
}

Answer TFormMain::ShowMessage(MessageType type, MessageButtons buttons, const std::string& text) {
    const bool warning = type == MessageType::Warning;
    const UINT flags = (warning ? MB_ICONWARNING : MB_ICONQUESTION) |
                       (buttons == MessageButtons::Ok ? MB_OK : MB_OKCANCEL);
    const int answer = MessageBoxA(Handle(), text.c_str(), warning ? "Warning" : "Confirm", flags);
    return answer == IDOK ? Answer::Ok : Answer::Cancel;
}

bool TFormMain::CancelRequested() { return cancelFlag; }

void TFormMain::CloseWindow() {
    if (Handle()) DestroyWindow(Handle());
}

void TFormMain::DrawLogo(const DRAWITEMSTRUCT& item) {
    FillRect(item.hDC, &item.rcItem, FormBrush());
    if (!logo_) return;
    BITMAP size = {};
    GetObjectA(logo_, sizeof size, &size);
    HDC source = CreateCompatibleDC(item.hDC);
    HGDIOBJ former = SelectObject(source, logo_);
    // Transparent in the colour of the bottom-left pixel.
    const COLORREF transparent = GetPixel(source, 0, size.bmHeight - 1);
    TransparentBlt(item.hDC, 0, 0, size.bmWidth, size.bmHeight, source, 0, 0, size.bmWidth,
                   size.bmHeight, transparent);
    SelectObject(source, former);
    DeleteDC(source);
}

std::optional<LRESULT> TFormMain::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_COMMAND:
            switch (LOWORD(wparam)) {
                case kCancelButton:
                    CancelButtonClick();
                    return 0;
                case kInstallButton:
                    InstallButtonClick();
                    return 0;
                default:
                    if (HIWORD(wparam) == BN_CLICKED) UpdateInstallButtonEnable();
                    return 0;
            }
        case DM_GETDEFID:
            return MAKELRESULT(kInstallButton, DC_HASDEFID);
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lparam));
            return PaintOnForm(reinterpret_cast<HDC>(wparam),
                               IsLabel(id) ? kLabelColour : GetSysColor(COLOR_WINDOWTEXT));
        }
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
            if (wparam == kLogo) {
                DrawLogo(item);
            } else {
                DrawBevel(item);
            }
            return TRUE;
        }
        case WM_CLOSE:
            // Closing the window stops the install sequence like Cancel does.
            CancelButtonClick();
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return std::nullopt;
}

}  // namespace installer
