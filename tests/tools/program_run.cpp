#include "program_run.h"

#include <cairo.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace toolstest {

namespace {

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace

TempFolder::TempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "mornavel-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::vector<std::string> TempFolder::Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

RunResult Run(const std::string& program, const std::vector<std::string>& args,
              const TempFolder& folder) {
    const std::string out = folder / ".stdout", err = folder / ".stderr";
    std::string command = "cd " + Quote(folder.path().string()) + " && " + Quote(program);
    for (const auto& a : args) command += " " + Quote(a);
    command += " </dev/null >" + Quote(out) + " 2>" + Quote(err);
    const int status = std::system(command.c_str());
    RunResult r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = ReadFile(out);
    r.err = ReadFile(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return r;
}

RunResult RunMornavel(const std::vector<std::string>& args, const TempFolder& folder) {
    return Run(MORNAVEL_PROGRAM, args, folder);
}

bool ReadPng(const std::string& path, Picture& picture) {
    cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
    const bool ok = cairo_surface_status(s) == CAIRO_STATUS_SUCCESS;
    if (ok) {
        cairo_surface_flush(s);
        picture.width = cairo_image_surface_get_width(s);
        picture.height = cairo_image_surface_get_height(s);
        const int stride = cairo_image_surface_get_stride(s);
        const unsigned char* data = cairo_image_surface_get_data(s);
        picture.pixels.resize(static_cast<std::size_t>(picture.width) * picture.height);
        for (int y = 0; y < picture.height; ++y)
            std::copy_n(reinterpret_cast<const uint32_t*>(data + y * stride), picture.width,
                        picture.pixels.begin() + static_cast<std::ptrdiff_t>(y) * picture.width);
    }
    cairo_surface_destroy(s);
    return ok;
}

bool ReadSound(const std::string& path, Sound& sound) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return false;
    std::vector<double> frames(static_cast<std::size_t>(info.frames) * info.channels);
    const bool ok = sf_readf_double(f, frames.data(), info.frames) == info.frames;
    sf_close(f);
    sound.rate = info.samplerate;
    sound.samples.resize(static_cast<std::size_t>(info.frames));
    for (std::size_t i = 0; i < sound.samples.size(); ++i)
        sound.samples[i] = frames[i * info.channels];
    return ok;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace toolstest
