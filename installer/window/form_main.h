#pragma once
// The installer's main window: six item boxes pre-selected at start-up from
// the configuration and what is installed, the Install and Cancel buttons,
// the instructions, the progress text and bar and the version labels. It is
// the view the install sequence drives.

#include <string>

// clang-format off
#include <windows.h>
// clang-format on

#include "config.h"
#include "controls.h"
#include "detection.h"
#include "selection.h"
#include "sequence.h"

namespace installer {

class TFormMain : public FormWindow, public SequenceView {
  public:
    // The controls' identifiers; Enter and Esc arrive as IDOK and IDCANCEL.
    enum ControlId : int {
        kInstallButton = IDOK,
        kCancelButton = IDCANCEL,
        kTitle = 100,
        kBevel1,
        kBevel2,
        kLogo,
        kInstallerVersion,
        kInstalledVersion,
        kAvailableVersion,
        kTQ510ADriver,
        kTQ510Driver,
        kVisaDriver,
        kApplication,
        kInstructions,
        kProgressText,
        kRemoveLegacyDriver,
        kRuntime,
        kProgressBar,
    };
    static constexpr int kWidth = 552;
    static constexpr int kHeight = 469;
    static constexpr int kLogoBitmap = 100;  // the logo's resource id

    explicit TFormMain(InstallSystem& system);
    ~TFormMain() override;

    // Creates the window hidden, centred on the screen, with its controls as
    // designed; false when it cannot be created.
    bool Create(const std::string& caption);
    // The start-up: loading, detection, warnings, selection and, when the kit
    // cannot serve this computer, the start-up dialog over the shown window.
    void FormCreate();

    HWND Control(ControlId id) const { return GetDlgItem(Handle(), id); }
    static ControlId ControlOf(Item item);
    // A start-up dialog told the user that the installer closes.
    bool CloseAtOnce() const { return closeAtOnce_; }
    // Runs until the window is closed, Enter and Esc going to the buttons.
    int RunMessageLoop();

    void UpdateInstallButtonEnable();
    void CancelButtonClick();
    void InstallButtonClick();

    // SequenceView
    bool Checked(Item item) override;
    void DisableItems() override;
    void SetInstructions(const std::string& text, std::optional<TextRange> bold) override;
    void SetProgressText(const std::string& text) override;
    void ShowProgressBar(bool visible) override;
    void SetProgressRange(std::uint32_t maximum) override;
    void SetProgressPosition(std::uint32_t position) override;
    void SetCancelCaption(const std::string& caption) override;
    void SetInstalledVersionLabel(const std::string& text) override;
    Answer ShowMessage(MessageType type, MessageButtons buttons, const std::string& text) override;
    bool CancelRequested() override;
    void CloseWindow() override;

  private:
    std::optional<LRESULT> OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
    void CreateControls();
    void DrawLogo(const DRAWITEMSTRUCT& item);
    void SetChecked(Item item, bool checked);
    void ShowItems(const MainWindowState& state);
    void SetLabel(ControlId id, const std::string& text);
    void ShowStartupDialog(const StartupMessage& message);

    InstallSystem& system_;
    HBITMAP logo_ = nullptr;
    LoadedConfiguration loaded_;
    Detection detection_;
    bool closeAtOnce_ = false;
};

}  // namespace installer
