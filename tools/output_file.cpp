#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "failure.h"

namespace front {

namespace {

[[noreturn]] void FailWrite(const std::string& path, int error) {
    Fail(kExitOutput, "cannot write " + path + ": " + std::strerror(error));
}

}  // namespace

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
    const std::filesystem::path target(path_);
    if (target.filename().empty()) Fail(kExitOutput, "cannot write " + path_ + ": not a file name");
    std::error_code ec;
    if (std::filesystem::is_directory(target, ec))
        Fail(kExitOutput, "cannot write " + path_ + ": it is a folder");
    const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
    std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = mkstemp(name.data());
    if (fd_ < 0) FailWrite(path_, errno);
    temporary_ = name.data();
    // mkstemp makes the file private; an output gets the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd_, 0666 & ~mask);
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) close(fd_);
    if (!temporary_.empty()) unlink(temporary_.c_str());
}

void OutputFile::Write(const void* data, std::size_t bytes) {
    const char* p = static_cast<const char*>(data);
    while (bytes > 0) {
        const ssize_t n = ::write(fd_, p, bytes);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) FailWrite(path_, n < 0 ? errno : ENOSPC);
        p += n;
        bytes -= static_cast<std::size_t>(n);
    }
}

void OutputFile::Commit() {
    if (fsync(fd_) != 0 && errno != EINVAL) FailWrite(path_, errno);
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0) FailWrite(path_, errno);
    if (std::rename(temporary_.c_str(), path_.c_str()) != 0) FailWrite(path_, errno);
    temporary_.clear();
}

void MakeFolder(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec) Fail(kExitOutput, "cannot make folder " + path + ": " + ec.message());
    if (!std::filesystem::is_directory(path, ec))
        Fail(kExitOutput, "cannot make folder " + path + ": not a folder");
}

}  // namespace front
