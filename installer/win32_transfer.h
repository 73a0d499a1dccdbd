#pragma once
// The installer's two Windows operations that talk to the outside: fetching a
// file over HTTP with its progress shown in the main window, and letting the
// user pick a folder with the shell's browser.

#include <string>

// clang-format off
#include <windows.h>
// clang-format on

#include "sequence.h"

namespace installer {

// Downloads `url` into `target` in chunks of 1024 bytes through WinINet,
// showing the announced size as the progress bar's maximum and the kilobytes
// remaining in the progress text, and stopping when `view` reports a cancel.
// True only when the transfer ended normally with everything announced
// received; otherwise the partial file is deleted and the result is false.
bool DownloadFile(const std::string& url, const std::string& target, SequenceView& view);

// The shell's folder browser owned by `owner`, offering file-system folders
// from the desktop down. True with `folder` set when the user chose a folder;
// false with `folder` empty otherwise.
bool BrowseForFolder(HWND owner, const std::string& title, std::string& folder);

}  // namespace installer
