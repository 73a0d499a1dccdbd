#include "analysis.h"

#include <algorithm>
#include <cmath>

#include "failure.h"
#include "host_array.h"
#include "kessling.h"
#include "mornavel.h"

namespace front {

namespace {

int32_t RunStft(int32_t ref, HostArrayHandle signal, const SptWindowCluster* window,
                const AnalysisParams&) {
    const uint8_t reassigned = 0;
    return SptReSTFTSpH(ref, signal, window, &reassigned);
}
int32_t RunReassigned(int32_t ref, HostArrayHandle signal, const SptWindowCluster* window,
                      const AnalysisParams&) {
    const uint8_t reassigned = 1;
    return SptReSTFTSpH(ref, signal, window, &reassigned);
}
int32_t RunGabor(int32_t ref, HostArrayHandle signal, const SptWindowCluster* window,
                 const AnalysisParams&) {
    return SptReDGTH(ref, signal, window);
}
int32_t RunWvd(int32_t ref, HostArrayHandle signal, const SptWindowCluster*,
               const AnalysisParams& p) {
    const uint8_t analytic = p.analytic ? 1 : 0;
    return SptReWVDH(ref, signal, p.bins, p.step, &analytic);
}
int32_t RunKernel(int32_t ref, HostArrayHandle signal, const AnalysisParams& p, bool cone) {
    const uint8_t analytic = p.analytic ? 1 : 0, select = cone ? 1 : 0;
    return SptReConeAndCWDH(ref, signal, cone ? p.alpha : p.sigma, p.bins, p.step, &analytic,
                            &select);
}
int32_t RunCwd(int32_t ref, HostArrayHandle signal, const SptWindowCluster*,
               const AnalysisParams& p) {
    return RunKernel(ref, signal, p, false);
}
int32_t RunCone(int32_t ref, HostArrayHandle signal, const SptWindowCluster*,
                const AnalysisParams& p) {
    return RunKernel(ref, signal, p, true);
}

// An STFT frame starts at its time step; a Gabor frame is centred on it (it
// starts half a window earlier); a distribution's row r is the instant r * step.
double StftCentre(int32_t length) { return (length - 1) / 2.0; }
double GaborCentre(int32_t length) { return (length - 1) / 2.0 - length / 2; }
double InstantCentre(int32_t) { return 0.0; }

AnalysisParams Common(AnalysisParams common) { return common; }
AnalysisParams Smoothed(AnalysisParams common) {
    common.bins = 256;
    common.step = 32;
    return common;
}

const std::vector<Method> kMethods = {
    {"stft", "STFT spectrogram", "short-time Fourier transform spectrogram", MethodKind::kLinear,
     RunStft, StftCentre, Common, 0.0},
    {"reassigned", "Reassigned spectrogram",
     "STFT spectrogram with the energy moved to its local centres of gravity", MethodKind::kLinear,
     RunReassigned, StftCentre, Common, 0.0},
    {"gabor", "Gabor coefficients", "discrete Gabor transform (the filter's domain)",
     MethodKind::kLinear, RunGabor, GaborCentre, Common, 0.0},
    {"wvd", "Wigner-Ville distribution",
     "pseudo Wigner-Ville distribution: sharp ridges, with cross-terms midway between components",
     MethodKind::kDistribution, RunWvd, InstantCentre, Common, 0.0},
    {"cwd", "Choi-Williams distribution",
     "Cohen-class distribution whose exponential kernel damps the cross-terms (--sigma)",
     MethodKind::kDistribution, RunCwd, InstantCentre, Smoothed, 0.5},
    {"cone", "Cone-shaped distribution",
     "Cohen-class distribution with the cone-shaped kernel (--alpha)", MethodKind::kDistribution,
     RunCone, InstantCentre, Smoothed, 0.5},
};

const Method& GaborMethod() { return *FindMethod("gabor"); }

// The Gaussian analysis window, its standard deviation a sixth of its length.
std::vector<double> AnalysisWindow(int32_t length) {
    std::vector<double> w(static_cast<std::size_t>(std::max(length, 0)));
    const double sigma = length / 6.0;
    if (length > 0) Gaussian(length, (length - 1) / 2.0, sigma * sigma, w.data());
    return w;
}

std::string Describe(const Method& m, const AnalysisParams& p) {
    if (m.kind == MethodKind::kDistribution)
        return "bins " + std::to_string(p.bins) + ", step " + std::to_string(p.step);
    return "window " + std::to_string(p.window) + ", step " + std::to_string(p.step) + ", bins " +
           std::to_string(p.bins);
}

HostArray SignalArray(const Signal& signal) {
    return HostArray::From({static_cast<int32_t>(signal.samples.size())}, signal.samples);
}

// Host int16 and int8 arrays for the mask exports, from bytes.
template <class T>
HostArray Widen(const std::vector<uint8_t>& bytes, int32_t rows, int32_t columns) {
    std::vector<T> values(bytes.begin(), bytes.end());
    return HostArray::From({rows, columns}, values);
}

// Bottom fraction that leaves `range` dB below the peak: the share of cells
// darker than that.
double BottomFractionForRange(const std::vector<double>& db, double range) {
    if (db.empty()) return 0.0;
    const double peak = *std::max_element(db.begin(), db.end());
    const auto below =
        std::count_if(db.begin(), db.end(), [&](double v) { return v < peak - range; });
    return static_cast<double>(below) / static_cast<double>(db.size());
}

}  // namespace

const std::vector<Method>& Methods() { return kMethods; }

const Method* FindMethod(const std::string& name) {
    for (const Method& m : kMethods)
        if (name == m.name) return &m;
    return nullptr;
}

std::string MethodNames() {
    std::string names;
    for (const Method& m : kMethods) names += (names.empty() ? "" : ", ") + std::string(m.name);
    return names;
}

Reference::Reference() { CheckStatus(SptCreateRefH(&number_), "creating a result object"); }

Reference::~Reference() { SptDisposeRefH(number_); }

void Analyse(const Method& method, const Signal& signal, const AnalysisParams& params,
             Reference& ref) {
    HostArray input = SignalArray(signal);
    HostArray window = HostArray::From({params.window}, AnalysisWindow(params.window));
    const SptWindowCluster cluster{window.handle(), params.step, params.bins};
    CheckStatus(method.run(ref.number(), input.handle(), &cluster, params),
                std::string(method.name) + " (" + Describe(method, params) + ", signal of " +
                    std::to_string(signal.samples.size()) + " samples)");
}

Graph MakeGraph(const Reference& ref, const Method& method, const Signal& signal,
                const AnalysisParams& params, const DisplayOptions& display, bool keepValues) {
    const uint8_t decibel = display.decibel ? 1 : 0;
    const auto fetch = [&](bool values, double top, double bottom, Graph& g) {
        HostArray graph(2), image(2);
        SptAxis time{}, frequency{}, level{};
        const uint8_t keep = values ? 1 : 0;
        CheckStatus(SptGetGraphH(ref.number(), 0, &keep, &decibel, top, bottom, graph.handle(),
                                 image.handle(), &time, &frequency, &level),
                    "the display of the " + std::string(method.name) + " result");
        const HostArray& kept = values ? graph : image;
        const auto sizes = kept.Sizes();
        g.rows = sizes[0];
        g.columns = sizes[1];
        // Rows are in samples and columns in cycles per sample: seconds and hertz.
        g.timeOffset = (time.offset + method.frameCentre(params.window)) / signal.rate;
        g.timeStep = time.step / signal.rate;
        g.freqOffset = frequency.offset * signal.rate;
        g.freqStep = frequency.step * signal.rate;
        if (values) {
            g.values = graph.Values<double>();
        } else {
            g.image = image.Values<uint8_t>();
            g.levelOffset = level.offset;
            g.levelStep = level.step;
        }
    };
    Graph g;
    g.decibel = display.decibel;
    double bottom = display.bottomFraction;
    if (keepValues || (display.range > 0 && display.decibel)) {
        fetch(true, 0.0, 0.0, g);
        if (display.range > 0 && display.decibel)
            bottom = BottomFractionForRange(g.values, display.range);
        if (!keepValues) g.values.clear();
    }
    fetch(false, display.topFraction, bottom, g);
    if (g.rows < 1 || g.columns < 1)
        Fail(kExitRefused, std::string(method.name) + " (" + Describe(method, params) +
                               ") gives nothing to show: " + std::to_string(g.rows) + " x " +
                               std::to_string(g.columns) + " cells");
    return g;
}

FilterResult Filter(const Signal& signal, const AnalysisParams& params,
                    const DisplayOptions& display, const FilterRequest& request) {
    Reference ref;
    const Method& gabor = GaborMethod();
    Analyse(gabor, signal, params, ref);
    FilterResult result;
    Graph& g = result.graph;
    g = MakeGraph(ref, gabor, signal, params, display, false);

    const long row = std::lround((request.seedTime - g.timeOffset) / g.timeStep);
    const long column = std::lround((request.seedFrequency - g.freqOffset) / g.freqStep);
    if (row < 0 || row >= g.rows || column < 0 || column >= g.columns) {
        char bounds[160];
        std::snprintf(bounds, sizeof bounds, "%.3f .. %.3f s, %.0f .. %.0f Hz", g.timeOffset,
                      g.timeOffset + (g.rows - 1) * g.timeStep, g.freqOffset,
                      g.freqOffset + (g.columns - 1) * g.freqStep);
        Fail(kExitUsage, "the seed lies outside the image (" + std::string(bounds) + ")");
    }
    if (g.image[row * g.columns + column] < 1)
        Fail(kExitUsage, "the seed lies on the darkest level of the image: nothing to select");

    // Regions are judged by the intensity image itself.
    HostArray levels = Widen<int16_t>(g.image, g.rows, g.columns);
    std::vector<uint8_t> labels(g.image.size(), 0);
    std::vector<double> regionLevels;
    const int32_t seedRow = static_cast<int32_t>(row), seedColumn = static_cast<int32_t>(column);
    const auto select = [&](double grow) {
        HostArray labelsIn = Widen<int8_t>(labels, g.rows, g.columns);
        HostArray levelsIn =
            HostArray::From({static_cast<int32_t>(regionLevels.size())}, regionLevels);
        HostArray labelsOut(2), levelsOut(1);
        const double shrink = 0.0;
        SptGetMaskH(levels.handle(), labelsIn.handle(), levelsIn.handle(), &seedRow, &seedColumn,
                    &grow, &shrink, 0, labelsOut.handle(), levelsOut.handle());
        labels = labelsOut.Values<uint8_t>();
        regionLevels = levelsOut.Values<double>();
    };
    select(0.0);
    for (double grow : request.grow) select(grow);

    const uint8_t label = labels[row * g.columns + column];
    result.region.resize(labels.size());
    for (std::size_t i = 0; i < labels.size(); ++i) result.region[i] = labels[i] == label ? 1 : 0;
    HostArray mask = HostArray::From({g.rows, g.columns}, result.region);
    CheckStatus(SptBinanryMaskH(ref.number(), mask.handle()), "masking the Gabor coefficients");

    HostArray window = HostArray::From({params.window}, AnalysisWindow(params.window));
    const SptWindowCluster analysis{window.handle(), params.step, params.bins};
    const int32_t anySignalLength = 1;  // the dual for which expansion inverts the transform
    HostArray dual(1);
    CheckStatus(SptFastDualH(&analysis, &anySignalLength, dual.handle()),
                "the dual window (" + Describe(GaborMethod(), params) + ")");
    const SptWindowCluster synthesis{dual.handle(), params.step, params.bins};
    HostArray output(1);
    CheckStatus(SptReDGEH(ref.number(), output.handle(), &synthesis), "the Gabor expansion");
    result.samples = output.Values<double>();
    return result;
}

}  // namespace front
