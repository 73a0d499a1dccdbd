#pragma once
// The install sequence behind the Install button: the checked items carried
// out one after another (legacy driver removal, TQ510A driver, classic driver,
// OX-VISA, run time, application), with the window's texts and the machine's
// changes going through two interfaces, so that the order, the command lines
// and every message are tested without a window or a Windows machine.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "config.h"
#include "detection.h"
#include "selection.h"
#include "system.h"

namespace installer {

enum class MessageType { Warning, Confirmation };
enum class MessageButtons { Ok, OkCancel };
enum class Answer { Ok, Cancel };

// The main window as the sequence drives it.
class SequenceView {
  public:
    virtual ~SequenceView() = default;
    virtual bool Checked(Item item) = 0;
    // Disables the six item boxes and the Install button.
    virtual void DisableItems() = 0;
    // The instructions' rich text, with one range in bold when given.
    virtual void SetInstructions(const std::string& text, std::optional<TextRange> bold) = 0;
    virtual void SetProgressText(const std::string& text) = 0;
    virtual void ShowProgressBar(bool visible) = 0;
    // The progress bar's maximum and position, written by the download.
    virtual void SetProgressRange(std::uint32_t maximum) = 0;
    virtual void SetProgressPosition(std::uint32_t position) = 0;
    virtual void SetCancelCaption(const std::string& caption) = 0;
    virtual void SetInstalledVersionLabel(const std::string& text) = 0;
    // A modal message box; "\r" in the text breaks lines.
    virtual Answer ShowMessage(MessageType type, MessageButtons buttons,
                               const std::string& text) = 0;
    // The process-wide cancel flag, set by the Cancel button.
    virtual bool CancelRequested() = 0;
    // Closes the main window, which ends the program. Safe when it is closed.
    virtual void CloseWindow() = 0;
};

// The machine as the sequence changes it: everything detection reads, and the
// helpers that start programs, copy, download and ask for a folder.
class InstallSystem : public SystemInterface {
  public:
    // Starts a program through the shell and waits for its end while the
    // window keeps working; a start that fails returns at once, unreported.
    virtual void RunAndWait(const std::string& verb, const std::string& program,
                            const std::string& parameters, const std::string& folder, int show) = 0;
    virtual bool IsProcessRunning(const std::string& name) = 0;
    // Lets `milliseconds` pass while the window keeps working (painting,
    // Cancel), returning early when the application is quitting.
    virtual void Pause(int milliseconds) = 0;
    // One shell copy of a file or mask into a folder; true on complete success.
    virtual bool CopyFiles(const std::string& source, const std::string& destination) = 0;
    // Downloads `url` into `target`, showing progress in the view. False when
    // the address does not open, the server refuses it, the target cannot be
    // written, a read fails, fewer bytes arrive than announced, or the user
    // cancels; the partial file is deleted then.
    virtual bool DownloadFile(const std::string& url, const std::string& target) = 0;
    // The Windows folder, or nullopt with `error` set to the system's message.
    virtual std::optional<std::string> WindowsDirectory(std::string& error) = 0;
    // Gives everybody access to HKLM `path` (a null access list) and deletes
    // it; when the deletion fails the key's former access list is put back.
    virtual bool DeleteProtectedKey(const std::string& path) = 0;
    // The shell's folder browser; true with `folder` set when the user chose
    // one, false with `folder` empty otherwise.
    virtual bool BrowseForFolder(const std::string& title, std::string& folder) = 0;
    // Deletes nothing: fails when `to` exists.
    virtual bool RenameFile(const std::string& from, const std::string& to) = 0;
    // Opens HKLM `path` in `view` for writing without creating it and writes
    // the string values; false when the key does not open.
    virtual bool WriteRegistryStrings(
        RegistryView view, const std::string& path,
        const std::vector<std::pair<std::string, std::string>>& values) = 0;
};

// The show command every installer starts with: a normal window.
inline constexpr int kShowNormal = 5;

// Carries out the checked items. `loaded.config.installLocation` may change
// when the user locates the application folder.
void RunInstallSequence(SequenceView& view, InstallSystem& system, LoadedConfiguration& loaded,
                        const Detection& detection);

}  // namespace installer
