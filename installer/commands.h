#pragma once
// Command lines of the install sequence and the download's progress figures:
// pure text and arithmetic, so that they are tested without starting anything.

#include <cstdint>
#include <string>
#include <string_view>

namespace installer {

// A program and its parameters, as the shell starts them.
struct Command {
    std::string program;
    std::string parameters;
};

// The uninstall command of an installed application split into program and
// parameters. A quoted program ends at its closing quote; an unquoted one at
// the first blank, unless its first word is part of a path, which then runs to
// the first ".exe" followed by a blank, so that a folder with blanks stays whole. "msiexec"
// (exactly, any case) followed by parameters gets " /passive" added, so that it runs without
// questions.
Command SplitUninstallCommand(std::string_view command);

// The parameters of expand.exe: the cabinet and the target folder quoted, so
// that blanks in either cannot split them, with the file mask between them.
std::string ExpandParameters(std::string_view cabinetFile, std::string_view mask,
                             std::string_view installLocation);

// The working folder of a driver installer: the driver folder and the
// lower-cased processor architecture below it.
std::string DriverWorkingFolder(std::string_view driverFolder, std::string_view architecture);

// A download's progress: the size announced before the transfer and the bytes
// received so far. More bytes than announced count as none remaining.
struct DownloadProgress {
    std::uint32_t expected = 0;
    std::uint32_t received = 0;

    std::uint32_t Remaining() const { return received < expected ? expected - received : 0; }
    // The progress bar's position, at most its maximum (the expected size).
    std::uint32_t Position() const { return expected - Remaining(); }
    // "Downloading Lumavise Runtime, <kB> kB remaining...", kB rounded down.
    std::string Text() const;
};

}  // namespace installer
