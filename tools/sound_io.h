#pragma once
// Recording and playing through Audiolet, with the test host as its run-time:
// the device list, a recording of some seconds, and a sound file played to its end.

#include <cstdint>
#include <string>
#include <vector>

namespace front {

class OutputFile;
struct Signal;

struct SoundDevice {
    int id;
    std::string name;
};

// The wave-in and wave-out devices, in device-id order.
std::vector<SoundDevice> InputDevices();
std::vector<SoundDevice> OutputDevices();

// The devices used when none is named: the first sound card's, else the tone
// source (input) or the silent sink (output).
int DefaultInputDevice();
int DefaultOutputDevice();

// The name of an input device, for titles.
std::string InputDeviceName(int id);

struct RecordOptions {
    int device = -1;  // -1: the default input
    double seconds = 3.0;
    int rate = 44100;
    int channels = 1;
    int bits = 16;
};

// A recording: interleaved frames, 8-bit unsigned or 16-bit signed bytes.
struct Recording {
    RecordOptions format;
    std::vector<uint8_t> bytes;
};

// Records; fails with kExitUsage for a format the devices do not take and
// kExitDevice for a missing or busy device or an overrun.
Recording Record(const RecordOptions& options);

// Writes a recording as a WAV file into `file` (not committed).
void WriteRecording(OutputFile& file, const Recording& recording);

// The first channel of a recording, in [-1, 1).
Signal RecordedSignal(const Recording& recording, const std::string& name);

// Plays a sound file and returns when it has played. Fails with kExitInput for
// an unreadable file and kExitDevice for a device that does not take it.
void Play(const std::string& path, int device);

}  // namespace front
