#include "commands.h"

#include "config.h"
#include "versions.h"

namespace installer {
namespace {

// One argument in double quotes. Backslashes before the closing quote are
// doubled, or the program's argument parser would read "C:\Folder\" as an
// escaped quote and run the argument on into the next one.
std::string Quoted(std::string_view text) {
    std::string quoted = "\"" + std::string(text);
    for (std::size_t end = text.size(); end > 0 && text[end - 1] == '\\'; --end) quoted += '\\';
    return quoted + "\"";
}

}  // namespace

Command SplitUninstallCommand(std::string_view command) {
    Command c;
    std::size_t end = std::string_view::npos;
    std::size_t rest = std::string_view::npos;
    if (!command.empty() && command.front() == '"') {
        end = command.find('"', 1);
        if (end != std::string_view::npos) {
            c.program = std::string(command.substr(1, end - 1));
            rest = command.find(' ', end);
            if (rest != std::string_view::npos)
                c.parameters = std::string(command.substr(rest + 1));
            return c;
        }
    }
    // A first word that is part of a path ("C:\Program") continues to the ".exe".
    const std::size_t blank = command.find(' ');
    const std::size_t exe = ToLowerAscii(command).find(".exe ");
    const bool pathWithBlanks = blank != std::string_view::npos && exe != std::string::npos &&
                                blank < exe &&
                                command.substr(0, blank).find('\\') != std::string_view::npos;
    rest = pathWithBlanks ? exe + 4 : blank;
    if (rest == std::string_view::npos) {
        c.program = std::string(command);
        return c;
    }
    c.program = std::string(command.substr(0, rest));
    c.parameters = std::string(command.substr(rest + 1));
    if (ToLowerAscii(c.program) == "msiexec") c.parameters += " /passive";
    return c;
}

std::string ExpandParameters(std::string_view cabinetFile, std::string_view mask,
                             std::string_view installLocation) {
    return Quoted(cabinetFile) + " /F:" + std::string(mask) + " " + Quoted(installLocation);
}

std::string DriverWorkingFolder(std::string_view driverFolder, std::string_view architecture) {
    return WithTrailingBackslash(driverFolder) + ToLowerAscii(architecture);
}

std::string DownloadProgress::Text() const {
    return "Downloading Lumavise Runtime, " + std::to_string(Remaining() / 1024) +
           " kB remaining...";
}

}  // namespace installer
