#pragma once
// The modal message dialog for the two start-up situations in which the
// installer cannot go on: formatted text in which one web address may be
// opened by clicking anywhere into the text.

#include <functional>
#include <string>

// clang-format off
#include <windows.h>
// clang-format on

#include "controls.h"
#include "selection.h"

namespace installer {

class TDialogHyperlink : public FormWindow {
  public:
    enum ControlId : int { kOKButton = IDOK, kBevel2 = 100, kMessageText };
    enum ModalResult : int { mrNone = 0, mrOk = IDOK, mrCancel = IDCANCEL };
    static constexpr int kClientWidth = 441;
    static constexpr int kClientHeight = 226;

    // Creates the dialog hidden, centred on `owner`.
    explicit TDialogHyperlink(HWND owner);
    HWND MessageText() const;
    void SetCaption(const std::string& caption);
    // An empty link removes it.
    void SetLink(const std::string& link) { link_ = link; }
    // Fills the text with its bold, link and indented ranges, the link and the caption.
    void SetMessage(const StartupMessage& message);

    // Shows the dialog with its owner disabled until it closes. The dialog
    // always ends closed, so the result is always mrCancel.
    int ShowModal();

    void OKButtonClick();
    void FormClose();
    void MessageTextMouseUp();

    // Opens the link; the shell by default.
    std::function<void(const std::string&)> openLink;

  private:
    std::optional<LRESULT> OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
    static LRESULT CALLBACK MessageTextProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                            UINT_PTR id, DWORD_PTR self);

    HWND owner_;
    std::string link_;
    int modalResult_ = mrNone;
};

}  // namespace installer
