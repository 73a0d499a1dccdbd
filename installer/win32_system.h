#pragma once
// The system interface on Windows itself: the registry, private-profile files,
// installer databases, volumes and version resources through Win32, and the
// changes the install sequence makes.

#include "sequence.h"
#include "system.h"

namespace installer {

class Win32System : public InstallSystem {
  public:
    // The main window that owns started programs and dialogs (an HWND), and
    // the view a download shows its progress in; both may be null.
    void AttachWindow(void* owner, SequenceView* view) {
        owner_ = owner;
        view_ = view;
    }

    std::string ExecutablePath() override;
    std::string ReadProfileString(const std::string& file, const std::string& section,
                                  const std::string& key) override;
    RegistryValue ReadRegistryValue(RegistryView view, const std::string& path,
                                    const std::string& name) override;
    std::optional<std::vector<std::string>> RegistrySubkeys(RegistryView view,
                                                            const std::string& path) override;
    std::optional<std::string> DatabaseProductVersion(const std::string& path) override;
    std::string VolumeLabel(char letter) override;
    std::optional<std::array<std::uint16_t, 4>> FileVersion(const std::string& path) override;
    std::string LocalAppDataFolder() override;
    bool DirectoryExists(const std::string& path) override;
    bool FileExists(const std::string& path) override;
    bool DeleteRegistryTree(const std::string& path) override;
    bool DeleteFileAt(const std::string& path) override;

    void RunAndWait(const std::string& verb, const std::string& program,
                    const std::string& parameters, const std::string& folder, int show) override;
    bool IsProcessRunning(const std::string& name) override;
    void Pause(int milliseconds) override;
    bool CopyFiles(const std::string& source, const std::string& destination) override;
    bool DownloadFile(const std::string& url, const std::string& target) override;
    std::optional<std::string> WindowsDirectory(std::string& error) override;
    bool DeleteProtectedKey(const std::string& path) override;
    bool BrowseForFolder(const std::string& title, std::string& folder) override;
    bool RenameFile(const std::string& from, const std::string& to) override;
    bool WriteRegistryStrings(
        RegistryView view, const std::string& path,
        const std::vector<std::pair<std::string, std::string>>& values) override;

  private:
    void* owner_ = nullptr;
    SequenceView* view_ = nullptr;
};

}  // namespace installer
