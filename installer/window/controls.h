#pragma once
// What the installer's two windows share: their colours and fonts, creating a
// control from one row of a layout table, painting controls on the window's
// own background, and the read-only rich texts with their bold, link and
// indented ranges.

#include <optional>
#include <string>

// clang-format off
#include <windows.h>
#include <richedit.h>
// clang-format on

#include "selection.h"

namespace installer {

inline constexpr COLORREF kFormColour = 15531764;             // red 244, green 254, blue 236
inline constexpr COLORREF kLabelColour = RGB(192, 192, 192);  // silver
inline constexpr COLORREF kLinkColour = 0xFF0000;             // blue
inline constexpr int kLinkIndentPoints = 10;

// The windows' fonts: "MS Sans Serif" -11 by default, "Tahoma" -11 for the
// rich texts and "Tahoma" -21 for the title. Made once, kept for the process.
enum class FontKind { Default, Text, Title };
HFONT FontOf(FontKind kind);

// One control of a window's layout, in client coordinates.
struct ControlDesign {
    int id;
    const char* className;
    DWORD style;
    int left, top, width, height;
    const char* text;
    FontKind font = FontKind::Default;
};

// The class name of the rich edit control, its library loaded on first use.
const char* RichEditClass();

// Creates a visible or hidden child control (per `design.style`) with its font.
HWND CreateControl(HWND parent, const ControlDesign& design);

// The outer rectangle of a window whose client area has the given size and
// style, centred on `around` (a screen rectangle).
RECT CentredWindowRect(const RECT& around, int clientWidth, int clientHeight, DWORD style,
                       DWORD exStyle);

// A top-level window painted in kFormColour whose messages go to its object.
class FormWindow {
  public:
    // Destroys the window if it is still there, without calling the object.
    virtual ~FormWindow();
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;
    HWND Handle() const { return hwnd_; }

  protected:
    FormWindow() = default;
    // Registers `className` once and creates the window hidden; false on failure.
    bool CreateForm(const char* className, const char* caption, DWORD style, DWORD exStyle,
                    const RECT& frame, HWND owner);
    // One message; nullopt leaves it to the default handling.
    virtual std::optional<LRESULT> OnMessage(UINT message, WPARAM wparam, LPARAM lparam) = 0;

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    HWND hwnd_ = nullptr;
};

// The brush of kFormColour for WM_CTLCOLOR* answers, made once.
HBRUSH FormBrush();

// Answers WM_CTLCOLORSTATIC and WM_CTLCOLORBTN: the form's background behind
// the text, in `textColour`.
LRESULT PaintOnForm(HDC dc, COLORREF textColour);

// A bevel: an owner-drawn static control showing an etched horizontal line.
inline constexpr DWORD kBevelStyle = WS_VISIBLE | SS_OWNERDRAW;
void DrawBevel(const DRAWITEMSTRUCT& item);

// Read-only borderless rich text on the form's background.
void PrepareRichEdit(HWND edit);

// Replaces the rich text with `text` (lines joined by "\r\n"), in plain style.
void SetRichText(HWND edit, const std::string& text);

// The character position in a rich edit control of `offset` in `text`: the
// offsets count a line break "\r\n" as two characters, the control as one.
LONG RichEditPosition(const std::string& text, std::size_t offset);

// Styles of a range of the text last set with SetRichText.
void MakeBold(HWND edit, const std::string& text, TextRange range);
void MakeLink(HWND edit, const std::string& text, TextRange range);
void IndentFirstLine(HWND edit, const std::string& text, TextRange range);

}  // namespace installer
