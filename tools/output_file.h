#pragma once
// Output files that appear whole or not at all: everything is written to a
// temporary file beside the destination, which is renamed into place by
// Commit. A file that is never committed is removed.

#include <cstdio>
#include <string>

namespace front {

class OutputFile {
  public:
    // Fails with kExitOutput when the folder does not take a new file.
    explicit OutputFile(std::string path);
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    const std::string& path() const { return path_; }
    int fd() const { return fd_; }
    // Writes bytes, failing with kExitOutput on a short write.
    void Write(const void* data, std::size_t bytes);
    void Write(const std::string& text) { Write(text.data(), text.size()); }
    // Flushes, closes and renames the file into place.
    void Commit();

  private:
    std::string path_;
    std::string temporary_;
    int fd_ = -1;
};

// Creates a folder and its parents unless it exists; fails with kExitOutput.
void MakeFolder(const std::string& path);

}  // namespace front
