#pragma once
// The system interface on Windows itself: the registry, private-profile files,
// installer databases, volumes and version resources through Win32.

#include "system.h"

namespace installer {

class Win32System : public SystemInterface {
  public:
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
};

}  // namespace installer
