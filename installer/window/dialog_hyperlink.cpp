#include "dialog_hyperlink.h"

// clang-format off
#include <commctrl.h>
#include <shellapi.h>
// clang-format on

#include "controls.h"

namespace installer {
namespace {

constexpr char kClassName[] = "TDialogHyperlink";
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN | DS_MODALFRAME;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;

void ShellOpen(const std::string& link) {
    ShellExecuteA(nullptr, nullptr, link.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace

TDialogHyperlink::TDialogHyperlink(HWND owner) : openLink(ShellOpen), owner_(owner) {
    RECT around{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (owner) GetWindowRect(owner, &around);
    const RECT frame = CentredWindowRect(around, kClientWidth, kClientHeight, kStyle, kExStyle);
    if (!CreateForm(kClassName, "Full install needed", kStyle, kExStyle, frame, owner)) return;

    // Created in tab order.
    const ControlDesign controls[] = {
        {kOKButton, "BUTTON", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 336, 184, 75, 25, "OK"},
        {kMessageText, RichEditClass(), WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_READONLY, 16,
         16, 409, 137, "", FontKind::Text},
        {kBevel2, "STATIC", kBevelStyle, 16, 173, 409, 2, ""},
    };
    for (const ControlDesign& design : controls) CreateControl(Handle(), design);
    PrepareRichEdit(MessageText());
    SetWindowSubclass(MessageText(), MessageTextProc, 0, reinterpret_cast<DWORD_PTR>(this));
}

HWND TDialogHyperlink::MessageText() const { return GetDlgItem(Handle(), kMessageText); }

void TDialogHyperlink::SetCaption(const std::string& caption) {
    SetWindowTextA(Handle(), caption.c_str());
}

void TDialogHyperlink::SetMessage(const StartupMessage& message) {
    HWND text = MessageText();
    SetRichText(text, message.text);
    if (message.bold) MakeBold(text, message.text, *message.bold);
    if (message.link) MakeLink(text, message.text, *message.link);
    if (message.indented) IndentFirstLine(text, message.text, *message.indented);
    SetLink(message.linkTarget);
    SetCaption(message.caption);
}

int TDialogHyperlink::ShowModal() {
    if (!Handle()) return mrCancel;
    modalResult_ = mrNone;
    if (owner_) EnableWindow(owner_, FALSE);
    ShowWindow(Handle(), SW_SHOWNORMAL);
    SetFocus(GetDlgItem(Handle(), kOKButton));
    MSG message;
    while (modalResult_ == mrNone && Handle()) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got <= 0) {
            // The program is ending: leave the quit message to its own loop.
            if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (!IsDialogMessageA(Handle(), &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    // The owner comes back before the dialog goes, so that it gets the focus.
    if (owner_) EnableWindow(owner_, TRUE);
    if (Handle()) SendMessageA(Handle(), WM_CLOSE, 0, 0);
    return modalResult_;
}

void TDialogHyperlink::OKButtonClick() { modalResult_ = mrOk; }

void TDialogHyperlink::FormClose() {
    modalResult_ = mrCancel;
    if (Handle()) ShowWindow(Handle(), SW_HIDE);
}

void TDialogHyperlink::MessageTextMouseUp() {
    if (!link_.empty() && openLink) openLink(link_);
}

LRESULT CALLBACK TDialogHyperlink::MessageTextProc(HWND hwnd, UINT message, WPARAM wparam,
                                                   LPARAM lparam, UINT_PTR, DWORD_PTR self) {
    switch (message) {
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
            reinterpret_cast<TDialogHyperlink*>(self)->MessageTextMouseUp();
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(hwnd, MessageTextProc, 0);
            break;
    }
    return DefSubclassProc(hwnd, message, wparam, lparam);
}

std::optional<LRESULT> TDialogHyperlink::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wparam) == kOKButton) {
                OKButtonClick();
            } else if (LOWORD(wparam) == IDCANCEL) {  // Esc
                SendMessageA(Handle(), WM_CLOSE, 0, 0);
            }
            return 0;
        case WM_CLOSE:
            FormClose();
            return 0;
        case WM_DRAWITEM:
            DrawBevel(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
            return TRUE;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return PaintOnForm(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_WINDOWTEXT));
    }
    return std::nullopt;
}

}  // namespace installer
