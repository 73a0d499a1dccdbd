#pragma once
// Running the front end and reading what it wrote: a temporary folder, a
// program run with its exit code and output, PNG and WAV decoding.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace toolstest {

// A fresh folder, removed with everything in it at the end of its scope.
class TempFolder {
  public:
    TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();
    const std::filesystem::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    // Names of the entries, sorted.
    std::vector<std::string> Names() const;

  private:
    std::filesystem::path path_;
};

struct RunResult {
    int exitCode = -1;
    std::string out, err;
};

// Runs `program` with `args` in `folder` (stdout and stderr captured there).
RunResult Run(const std::string& program, const std::vector<std::string>& args,
              const TempFolder& folder);
RunResult RunMornavel(const std::vector<std::string>& args, const TempFolder& folder);

struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB, row by row
    uint32_t at(int x, int y) const { return pixels[y * width + x] & 0xFFFFFF; }
};
// False when the file is not a PNG cairo can read.
bool ReadPng(const std::string& path, Picture& picture);

struct Sound {
    double rate = 0;
    std::vector<double> samples;  // first channel
};
bool ReadSound(const std::string& path, Sound& sound);
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

}  // namespace toolstest
