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
    RegisterFormClass(kClassName, WindowProc);
    RECT around{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (owner) GetWindowRect(owner, &around);
    const RECT frame = CentredWindowRect(around, kClientWidth, kClientHeight, kStyle, kExStyle);
    hwnd_ = CreateWindowExA(kExStyle, kClassName, "Full install needed", kStyle, frame.left,
                            frame.top, frame.right - frame.left, frame.bottom - frame.top, owner,
                            nullptr, GetModuleHandleA(nullptr), this);
    if (!hwnd_) return;
    SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(FontKind::Default)), FALSE);

    // Created in tab order.
    const ControlSpec controls[] = {
        {kOKButton, "BUTTON", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 336, 184, 75, 25, "OK"},
        {kMessageText, RichEditClass(), WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_READONLY, 16,
         16, 409, 137, "", FontKind::Text},
        {kBevel2, "STATIC", kBevelStyle, 16, 173, 409, 2, ""},
    };
    for (const ControlSpec& spec : controls) CreateControl(hwnd_, spec);
    PrepareRichEdit(MessageText());
    SetWindowSubclass(MessageText(), MessageTextProc, 0, reinterpret_cast<DWORD_PTR>(this));
}

TDialogHyperlink::~TDialogHyperlink() {
    if (hwnd_) DestroyWindow(hwnd_);
}

HWND TDialogHyperlink::MessageText() const { return GetDlgItem(hwnd_, kMessageText); }

void TDialogHyperlink::SetCaption(const std::string& caption) {
    SetWindowTextA(hwnd_, caption.c_str());
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
    if (!hwnd_) return mrCancel;
    modalResult_ = mrNone;
    if (owner_) EnableWindow(owner_, FALSE);
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    SetFocus(GetDlgItem(hwnd_, kOKButton));
    MSG message;
    while (modalResult_ == mrNone && hwnd_) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got <= 0) {
            // The program is ending: leave the quit message to its own loop.
            if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (!IsDialogMessageA(hwnd_, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    // The owner comes back before the dialog goes, so that it gets the focus.
    if (owner_) EnableWindow(owner_, TRUE);
    if (hwnd_) SendMessageA(hwnd_, WM_CLOSE, 0, 0);
    return modalResult_;
}

void TDialogHyperlink::OKButtonClick() { modalResult_ = mrOk; }

void TDialogHyperlink::FormClose() {
    modalResult_ = mrCancel;
    if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

void TDialogHyperlink::MessageTextMouseUp() {
    if (!link_.empty() && openLink) openLink(link_);
}

LRESULT CALLBACK TDialogHyperlink::WindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                              LPARAM lparam) {
    auto* self = WindowObject<TDialogHyperlink>(hwnd, message, lparam);
    if (!self) return DefWindowProcA(hwnd, message, wparam, lparam);
    if (message == WM_NCCREATE) self->hwnd_ = hwnd;
    return self->Handle(hwnd, message, wparam, lparam);
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

LRESULT TDialogHyperlink::Handle(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wparam) == kOKButton) {
                OKButtonClick();
            } else if (LOWORD(wparam) == IDCANCEL) {  // Esc
                SendMessageA(hwnd, WM_CLOSE, 0, 0);
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
        case WM_NCDESTROY:
            hwnd_ = nullptr;
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
            break;
    }
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

}  // namespace installer
