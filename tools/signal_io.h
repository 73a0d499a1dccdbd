#pragma once
// Signals in and out: audio files through libsndfile, text files of columns,
// and WAV output.

#include <cstdint>
#include <string>
#include <vector>

namespace front {

class OutputFile;

struct Signal {
    std::string name;   // shown in titles
    double rate = 0.0;  // samples per second
    std::vector<double> samples;
};

struct InputOptions {
    int channel = 1;    // audio channel or text column, counting from 1
    double rate = 0.0;  // sample rate of a text file; 0 when not given
};

// True for the names read as text columns (.csv, .tsv, .txt, .dat).
bool IsTextName(const std::string& path);

// Reads one channel of an audio file (WAV, FLAC, AIFF, OGG and whatever else
// libsndfile reads) or one column of a text file. Fails with kExitInput for a
// missing, unreadable, truncated or empty input, kExitUsage for a channel or
// rate that does not fit it.
Signal ReadSignal(const std::string& path, const InputOptions& options);

// Text columns: comma, semicolon, tab or blank separated, one sample per line;
// a first line that is not numeric is a header. `name` is used in messages.
std::vector<double> ParseColumns(const std::string& text, int column, const std::string& name);

// Writes a mono 16-bit WAV file into `file` (not committed).
void WriteWav(OutputFile& file, const std::vector<double>& samples, double rate);

}  // namespace front
