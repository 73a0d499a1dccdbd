#pragma once
// The program's only contact with the analysis: it runs each method through
// Kessling into a reference, turns the stored result into an intensity image
// with SptGetGraphH, and filters with the mask exports, the way the host
// application does. Adding a method is one entry in the table of analysis.cpp.

#include <complex>
#include <cstdint>
#include <string>
#include <vector>

#include "kessling.h"
#include "mornavel.h"
#include "signal_io.h"

namespace front {

// Parameters of the methods. The linear ones and the Gabor spectrogram use a
// Gaussian window of `window` samples, `step` samples between frames and
// `bins` frequency bins; the quadratic distributions use `bins` (the lag
// window) and `step`, with the smoothing of their kernel and the preparation
// of the real signal.
struct AnalysisParams {
    int32_t window = 512;
    int32_t step = 128;
    int32_t bins = 512;
    double sigma = 1.0;     // Choi-Williams kernel: larger smooths more
    double alpha = 0.0001;  // cone-shaped kernel: decay along the lag
    bool analytic = false;  // distributions of the analytic signal, not the interpolated one
    int32_t order = 2;      // Gabor spectrogram: pairs of coefficients at most this far apart
    int32_t atoms = 20;     // adaptive: chirplets to look for; `window` is the longest one
};

enum class MethodKind { kLinear, kDistribution, kGaborSpectrogram, kAdaptive };

// The chirplets an adaptive decomposition found, as the bridge returns them.
struct Decomposition {
    std::vector<AtomParams> params;
    std::vector<std::complex<double>> coefs;
    double residualPercent = 100.0;  // of the signal's energy
};

struct Method {
    const char* name;
    const char* title;
    const char* summary;
    MethodKind kind;
    // Runs the analysis of a real signal into `ref`; returns the bridge status.
    // The adaptive method also reports the atoms it found into `found`.
    int32_t (*run)(int32_t ref, HostArrayHandle signal, const SptWindowCluster* window,
                   const AnalysisParams& params, Decomposition& found);
    // Sample at which frame 0 is centred, for a window of `length` samples.
    double (*frameCentre)(int32_t length);
    // The demo's parameters for the method and the seconds of the capture it
    // analyses (0: all): the Cohen-class kernels span the whole signal, so the
    // smoothed distributions take an excerpt at a coarser lag window.
    AnalysisParams (*demoParams)(AnalysisParams common);
    double demoSeconds;
    // Whether the result is a power distribution, whose instantaneous frequency
    // the bridge can take (the Gabor coefficients are not).
    bool power;
    // Orders the demo shows (the Gabor spectrogram's); empty for one picture.
    std::vector<int32_t> demoOrders;
};

const std::vector<Method>& Methods();
// Null for an unknown name.
const Method* FindMethod(const std::string& name);
// "stft, reassigned, gabor, ...".
std::string MethodNames();
// The methods whose instantaneous frequency can be shown.
std::string PowerMethodNames();

// Variance in samples² of the Gaussian analysis window of `length` samples.
double WindowVariance(int32_t length);

// How the stored result is shown.
struct DisplayOptions {
    bool decibel = true;
    double topFraction = 0.0;     // fraction of the brightest cells clipped
    double bottomFraction = 0.0;  // fraction of the darkest cells clipped
    double range = 0.0;           // dB below the peak shown (0: all the bridge shows)
};

// A displayable result: rows are time instants, columns frequency cells.
struct Graph {
    int32_t rows = 0, columns = 0;
    std::vector<uint8_t> image;             // rows x columns, 0 .. 255
    std::vector<double> values;             // rows x columns, when asked for
    double timeOffset = 0, timeStep = 0;    // seconds of row 0 and between rows
    double freqOffset = 0, freqStep = 0;    // hertz of column 0 and between columns
    double levelOffset = 0, levelStep = 0;  // value of byte 0 and between bytes
    bool decibel = true;
};

// A reference object of the bridge, disposed at the end of its scope.
class Reference {
  public:
    Reference();
    Reference(const Reference&) = delete;
    Reference& operator=(const Reference&) = delete;
    ~Reference();
    int32_t number() const { return number_; }

  private:
    int32_t number_ = 0;
};

// Runs `method` on the signal into `ref`; fails with kExitRefused naming the
// status and its meaning. Returns the atoms of an adaptive decomposition
// (none for the other methods).
Decomposition Analyse(const Method& method, const Signal& signal, const AnalysisParams& params,
                      Reference& ref);

// An atom of an adaptive decomposition in the signal's units. A real signal's
// atom stands for its positive-frequency side.
struct Atom {
    double time;         // s, centre
    double frequency;    // Hz, centre
    double rate;         // Hz/s, chirp rate
    double duration;     // s, standard deviation of its energy in time
    double energyShare;  // its part of the signal's energy, 0 .. 1
};
std::vector<Atom> DescribeAtoms(const Decomposition& d, const Signal& signal);

// The stored result as an image (and its values when `keepValues`).
Graph MakeGraph(const Reference& ref, const Method& method, const Signal& signal,
                const AnalysisParams& params, const DisplayOptions& display, bool keepValues);

// A line over the picture: frequency in hertz against time in seconds.
enum class CurveKind { kInstantaneous, kMeanOfGaborSpectrogram, kTrue };
struct Curve {
    CurveKind kind;
    std::string label;
    std::vector<double> times, frequencies;
};

// The instantaneous frequency of every row of the stored power distribution,
// and for the Gabor spectrogram also its mean instantaneous frequency taken
// from the Gabor coefficients of the signal.
std::vector<Curve> FrequencyCurves(const Reference& ref, const Method& method, const Signal& signal,
                                   const AnalysisParams& params);

// Time-frequency filtering: the region under the seed (seconds, hertz) of the
// Gabor coefficients' image is selected, grown by each fraction in turn, kept,
// and the signal synthesised with the dual window.
struct FilterRequest {
    double seedTime = 0, seedFrequency = 0;
    std::vector<double> grow;
};
struct FilterResult {
    Graph graph;                  // the Gabor image the region was chosen on
    std::vector<uint8_t> region;  // graph.rows x graph.columns, 1 inside
    std::vector<double> samples;  // the filtered signal
};
FilterResult Filter(const Signal& signal, const AnalysisParams& params,
                    const DisplayOptions& display, const FilterRequest& request);

}  // namespace front
