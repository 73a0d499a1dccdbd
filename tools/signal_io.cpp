#include "signal_io.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "failure.h"
#include "output_file.h"

namespace front {

namespace {

constexpr int64_t kMaxSamples = std::numeric_limits<int32_t>::max() / 16;

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

void CheckReadableFile(const std::string& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status)) Fail(kExitInput, path + ": no such file");
    if (std::filesystem::is_directory(status)) Fail(kExitInput, path + ": is a folder");
    if (std::filesystem::file_size(path, ec) == 0) Fail(kExitInput, path + ": the file is empty");
}

void CheckLength(std::size_t n, const std::string& path) {
    if (n == 0) Fail(kExitInput, path + ": the signal has no samples");
    if (n > static_cast<std::size_t>(kMaxSamples))
        Fail(kExitInput, path + ": the signal is too long (more than " +
                             std::to_string(kMaxSamples) + " samples)");
}

// libsndfile reads what is there of a file cut short and notes the declared
// size of the sample chunk beside the real one in its log ("data : 16000
// (should be 4956)"); a declared size beyond the real one means lost samples.
bool LogShowsTruncation(SNDFILE* file) {
    char log[8192] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log - 1);
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        const auto name = line.substr(0, line.find(':'));
        if (name.rfind("data", 0) != 0 && name.rfind("SSND", 0) != 0) continue;
        long long declared = 0, real = 0;
        if (std::sscanf(line.c_str() + name.size(), ": %lld (should be %lld)", &declared, &real) ==
                2 &&
            declared > real)
            return true;
    }
    return false;
}

Signal ReadAudio(const std::string& path, const InputOptions& options) {
    if (options.rate > 0.0)
        Fail(kExitUsage, "--rate applies to text input only; " + path + " carries its own rate");
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        Fail(kExitInput, path + ": not a readable audio file (" + sf_strerror(nullptr) + ")");
    struct Closer {
        SNDFILE* f;
        ~Closer() { sf_close(f); }
    } closer{file};
    if (info.channels < 1 || info.samplerate < 1)
        Fail(kExitInput, path + ": the file has no channels or no sample rate");
    if (options.channel > info.channels)
        Fail(kExitUsage, path + " has " + std::to_string(info.channels) +
                             " channel(s); --channel " + std::to_string(options.channel) +
                             " does not exist");
    if (LogShowsTruncation(file)) Fail(kExitInput, path + ": the file is truncated");
    CheckLength(static_cast<std::size_t>(std::max<sf_count_t>(info.frames, 0)), path);
    std::vector<double> frames(static_cast<std::size_t>(info.frames) * info.channels);
    const sf_count_t got = sf_readf_double(file, frames.data(), info.frames);
    if (got != info.frames)
        Fail(kExitInput, path + ": the file is truncated or damaged (read " + std::to_string(got) +
                             " of " + std::to_string(info.frames) + " frames)");
    Signal s;
    s.name = std::filesystem::path(path).filename().string();
    s.rate = info.samplerate;
    s.samples.resize(static_cast<std::size_t>(info.frames));
    for (std::size_t i = 0; i < s.samples.size(); ++i) {
        s.samples[i] = frames[i * info.channels + (options.channel - 1)];
        if (!std::isfinite(s.samples[i]))
            Fail(kExitInput, path + ": sample " + std::to_string(i) + " is not a finite number");
    }
    return s;
}

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// Fields of one line: separated by commas or semicolons when the line has any
// (an empty field between two of them counts), otherwise by blanks and tabs.
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    if (Trim(line).empty()) return fields;
    if (line.find_first_of(",;") != std::string::npos) {
        std::size_t start = 0;
        for (;;) {
            const auto end = line.find_first_of(",;", start);
            fields.push_back(Trim(line.substr(start, end - start)));
            if (end == std::string::npos) break;
            start = end + 1;
        }
        return fields;
    }
    std::istringstream words(line);
    for (std::string w; words >> w;) fields.push_back(w);
    return fields;
}

bool ParseNumber(const std::string& field, double& value) {
    const char* first = field.data();
    const char* last = first + field.size();
    if (first != last && *first == '+') ++first;
    const auto [end, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && end == last && first != last;
}

}  // namespace

bool IsTextName(const std::string& path) {
    const std::string ext = Lower(std::filesystem::path(path).extension().string());
    return ext == ".csv" || ext == ".tsv" || ext == ".txt" || ext == ".dat";
}

std::vector<double> ParseColumns(const std::string& text, int column, const std::string& name) {
    std::vector<double> samples;
    std::istringstream lines(text);
    int lineNumber = 0;
    bool seenData = false;
    for (std::string line; std::getline(lines, line);) {
        ++lineNumber;
        const auto fields = Fields(line);
        if (fields.empty()) continue;
        const std::string where = name + " line " + std::to_string(lineNumber);
        if (static_cast<int>(fields.size()) < column) {
            if (!seenData && lineNumber == 1) continue;  // a short header
            Fail(kExitInput, where + ": has " + std::to_string(fields.size()) +
                                 " column(s), column " + std::to_string(column) + " is missing");
        }
        double value = 0.0;
        if (!ParseNumber(fields[column - 1], value)) {
            if (!seenData && lineNumber == 1) continue;  // the header
            Fail(kExitInput, where + ": '" + fields[column - 1] + "' is not a number");
        }
        if (!std::isfinite(value))
            Fail(kExitInput, where + ": '" + fields[column - 1] + "' is not a finite number");
        seenData = true;
        samples.push_back(value);
    }
    return samples;
}

Signal ReadSignal(const std::string& path, const InputOptions& options) {
    CheckReadableFile(path);
    if (!IsTextName(path)) {
        Signal s = ReadAudio(path, options);
        CheckLength(s.samples.size(), path);
        return s;
    }
    if (!(options.rate > 0.0) || !std::isfinite(options.rate))
        Fail(kExitUsage, path + " is a text file: give its sample rate with --rate HZ");
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in && !in.eof()) Fail(kExitInput, path + ": cannot be read: " + std::strerror(errno));
    Signal s;
    s.name = std::filesystem::path(path).filename().string();
    s.rate = options.rate;
    s.samples = ParseColumns(text.str(), options.channel, path);
    CheckLength(s.samples.size(), path);
    return s;
}

void WriteWav(OutputFile& file, const std::vector<double>& samples, double rate) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(std::lround(rate));
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* out = sf_open_fd(file.fd(), SFM_WRITE, &info, SF_FALSE);
    if (!out) Fail(kExitOutput, "cannot write " + file.path() + ": " + sf_strerror(nullptr));
    sf_command(out, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const sf_count_t n = static_cast<sf_count_t>(samples.size());
    const bool ok = sf_write_double(out, samples.data(), n) == n;
    const int closed = sf_close(out);
    if (!ok || closed != 0) Fail(kExitOutput, "cannot write " + file.path() + ": disk full?");
}

}  // namespace front
