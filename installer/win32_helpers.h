#pragma once
// The small Windows operations the install sequence works through: starting a
// program and waiting for it, looking for a running program, shell copies,
// special folders and making a protected registry key deletable.

#include <optional>
#include <string>

// clang-format off
#include <windows.h>
// clang-format on

#include "system.h"

namespace installer {

// The rights to open an HKLM key with in `view`. The installer is a 32-bit
// program; built for 64 bits (to be tested where only 64-bit programs run) it
// still opens the 32-bit program's view unless the native one is asked for
// (KEY_READ | KEY_WOW64_64KEY is 0x20119).
REGSAM ViewAccess(RegistryView view, REGSAM rights);

// Starts `program` through the shell and waits until it ends, handling the
// window messages of this thread meanwhile (without spinning), so that Cancel
// and painting keep working. Returns at once when the start fails, and when
// the application is quitting (the quit message is posted again for the
// message loop).
void RunAndWait(HWND owner, const std::string& verb, const std::string& program,
                const std::string& parameters, const std::string& folder, int show);

// Lets `milliseconds` pass while handling this thread's window messages;
// returns early when the application is quitting (the quit message is posted
// again for the message loop).
void Pause(int milliseconds);

// Whether a process runs whose executable, or its file-name part, equals
// `name` ignoring case.
bool IsProcessRunning(const std::string& name);

// One shell copy of `source` (a file or a mask) into `destination`, without
// questions, creating folders; true on complete success.
bool CopyFiles(const std::string& source, const std::string& destination);

// The path of a shell folder (CSIDL); "" on failure.
std::string SpecialFolderPath(int folder);

// The Windows folder; nullopt on failure, which the caller reports.
std::optional<std::string> WindowsDirectory();

// "MACHINE\..." and the like: the object name of a key for the security calls.
std::string RegistryObjectName(HKEY root, const std::string& path);

// Replaces the access list of the key `path` below `root` by a null one, so
// that everybody may change or delete it. True when the change succeeded.
bool GrantRegistryKeyAccess(HKEY root, const std::string& path);

// Deletes HKLM `path` (a key without subkeys) after giving everybody access to
// it with GrantRegistryKeyAccess. When the deletion fails, the key's former access
// list is put back, so that no key stays open to everybody. True when deleted.
bool DeleteProtectedKey(const std::string& path);

}  // namespace installer
