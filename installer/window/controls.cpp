#include "controls.h"

#include <algorithm>

namespace installer {
namespace {

constexpr int kTwipsPerPoint = 20;

HINSTANCE ThisModule() { return GetModuleHandleA(nullptr); }

// Selects `range` of `text` in the control's own character positions.
void Select(HWND edit, const std::string& text, TextRange range) {
    CHARRANGE selection{RichEditPosition(text, range.start),
                        RichEditPosition(text, range.start + range.length)};
    SendMessageA(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
}

void Format(HWND edit, WPARAM which, DWORD mask, DWORD effects, COLORREF colour) {
    CHARFORMAT2W format = {};
    format.cbSize = sizeof format;
    format.dwMask = mask;
    format.dwEffects = effects;
    format.crTextColor = colour;
    SendMessageA(edit, EM_SETCHARFORMAT, which, reinterpret_cast<LPARAM>(&format));
}

// Leaves nothing selected, so that a read-only text shows no highlight.
void Deselect(HWND edit) {
    CHARRANGE none{0, 0};
    SendMessageA(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&none));
}

}  // namespace

HFONT FontOf(FontKind kind) {
    static const auto make = [](const char* face, int height) {
        return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, face);
    };
    static const HFONT fonts[] = {make("MS Sans Serif", -11), make("Tahoma", -11),
                                  make("Tahoma", -21)};
    return fonts[static_cast<int>(kind)];
}

const char* RichEditClass() {
    static const char* const name = [] {
        if (LoadLibraryA("Msftedit.dll")) return "RICHEDIT50W";
        LoadLibraryA("Riched20.dll");
        return "RichEdit20A";
    }();
    return name;
}

HWND CreateControl(HWND parent, const ControlDesign& design) {
    HWND control = CreateWindowExA(
        0, design.className, design.text, WS_CHILD | WS_CLIPSIBLINGS | design.style, design.left,
        design.top, design.width, design.height, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(design.id)), ThisModule(), nullptr);
    if (control) {
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(design.font)), FALSE);
    }
    return control;
}

RECT CentredWindowRect(const RECT& around, int clientWidth, int clientHeight, DWORD style,
                       DWORD exStyle) {
    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int left = around.left + (around.right - around.left - width) / 2;
    const int top = around.top + (around.bottom - around.top - height) / 2;
    return RECT{left, top, left + width, top + height};
}

FormWindow::~FormWindow() {
    if (!hwnd_) return;
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
}

bool FormWindow::CreateForm(const char* className, const char* caption, DWORD style, DWORD exStyle,
                            const RECT& frame, HWND owner) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    if (!GetClassInfoExA(ThisModule(), className, &windowClass)) {
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = ThisModule();
        windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
        windowClass.hbrBackground = FormBrush();
        windowClass.lpszClassName = className;
        RegisterClassExA(&windowClass);
    }
    CreateWindowExA(exStyle, className, caption, style, frame.left, frame.top,
                    frame.right - frame.left, frame.bottom - frame.top, owner, nullptr,
                    ThisModule(), this);
    if (!hwnd_) return false;
    SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(FontKind::Default)), FALSE);
    return true;
}

LRESULT CALLBACK FormWindow::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<FormWindow*>(reinterpret_cast<CREATESTRUCTA*>(lparam)->lpCreateParams);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcA(hwnd, message, wparam, lparam);
    if (message == WM_NCDESTROY) {
        self->hwnd_ = nullptr;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    }
    const std::optional<LRESULT> result = self->OnMessage(message, wparam, lparam);
    return result ? *result : DefWindowProcA(hwnd, message, wparam, lparam);
}

HBRUSH FormBrush() {
    static const HBRUSH brush = CreateSolidBrush(kFormColour);
    return brush;
}

LRESULT PaintOnForm(HDC dc, COLORREF textColour) {
    SetTextColor(dc, textColour);
    SetBkColor(dc, kFormColour);
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(FormBrush());
}

void DrawBevel(const DRAWITEMSTRUCT& item) {
    RECT line = item.rcItem;
    FillRect(item.hDC, &line, FormBrush());
    DrawEdge(item.hDC, &line, EDGE_ETCHED, BF_TOP);
}

void PrepareRichEdit(HWND edit) {
    SendMessageA(edit, EM_SETBKGNDCOLOR, 0, kFormColour);
    SendMessageA(edit, EM_SETEVENTMASK, 0, 0);
}

void SetRichText(HWND edit, const std::string& text) {
    SetWindowTextA(edit, text.c_str());
    // New text keeps no style of the old one.
    Format(edit, SCF_ALL, CFM_BOLD | CFM_UNDERLINE | CFM_COLOR, CFE_AUTOCOLOR, 0);
    PARAFORMAT2 paragraph = {};
    paragraph.cbSize = sizeof paragraph;
    paragraph.dwMask = PFM_STARTINDENT;
    CHARRANGE all{0, -1};
    SendMessageA(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&all));
    SendMessageA(edit, EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&paragraph));
    Deselect(edit);
}

LONG RichEditPosition(const std::string& text, std::size_t offset) {
    offset = std::min(offset, text.size());
    std::size_t breaks = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos && at + 1 < offset;
         at = text.find("\r\n", at + 2)) {
        ++breaks;
    }
    return static_cast<LONG>(offset - breaks);
}

void MakeBold(HWND edit, const std::string& text, TextRange range) {
    Select(edit, text, range);
    Format(edit, SCF_SELECTION, CFM_BOLD, CFE_BOLD, 0);
    Deselect(edit);
}

void MakeLink(HWND edit, const std::string& text, TextRange range) {
    Select(edit, text, range);
    Format(edit, SCF_SELECTION, CFM_UNDERLINE | CFM_COLOR, CFE_UNDERLINE, kLinkColour);
    Deselect(edit);
}

void IndentFirstLine(HWND edit, const std::string& text, TextRange range) {
    Select(edit, text, range);
    PARAFORMAT2 paragraph = {};
    paragraph.cbSize = sizeof paragraph;
    paragraph.dwMask = PFM_STARTINDENT;
    paragraph.dxStartIndent = kLinkIndentPoints * kTwipsPerPoint;
    SendMessageA(edit, EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&paragraph));
    Deselect(edit);
}

}  // namespace installer
