#include "analysis.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>

#include "failure.h"
#include "host_array.h"
#include "kessling.h"
#include "mornavel.h"

namespace front {

namespace {

int32_t RunStft(int32_t ref, HostArrayHandle signal, const SptWindowCluster* window,
                const AnalysisParams&, Decomposition&) {
    const uint8_t reassigned = 0;
    return SptReSTFTSpH(ref, signal, window, &reassigned);
}
int32_t RunReassigned(int32_t ref, HostArrayHandle signal, const SptWindowCluster* window,
                      const AnalysisParams&, Decomposition&) {
    const uint8_t reassigned = 1;
    return SptReSTFTSpH(ref, signal, window, &reassigned);
}
int32_t RunGabor(int32_t ref, HostArrayHandle signal, const SptWindowCluster* window,
                 const AnalysisParams&, Decomposition&) {
    return SptReDGTH(ref, signal, window);
}
int32_t RunWvd(int32_t ref, HostArrayHandle signal, const SptWindowCluster*,
               const AnalysisParams& p, Decomposition&) {
    const uint8_t analytic = p.analytic ? 1 : 0;
    return SptReWVDH(ref, signal, p.bins, p.step, &analytic);
}
int32_t RunKernel(int32_t ref, HostArrayHandle signal, const AnalysisParams& p, bool cone) {
    const uint8_t analytic = p.analytic ? 1 : 0, select = cone ? 1 : 0;
    return SptReConeAndCWDH(ref, signal, cone ? p.alpha : p.sigma, p.bins, p.step, &analytic,
                            &select);
}
int32_t RunCwd(int32_t ref, HostArrayHandle signal, const SptWindowCluster*,
               const AnalysisParams& p, Decomposition&) {
    return RunKernel(ref, signal, p, false);
}
int32_t RunCone(int32_t ref, HostArrayHandle signal, const SptWindowCluster*,
                const AnalysisParams& p, Decomposition&) {
    return RunKernel(ref, signal, p, true);
}

// Gabor coefficients of the signal as the Gabor spectrogram and its mean
// instantaneous frequency read them: the phase of every atom counted from
// sample 0. The transform counts it from half a window earlier, which turns
// bin b by (-1)^(b L/N); for windows an odd number of bins long the sign of
// every odd bin is turned back here (the reference does not record the window
// length, so the bridge cannot do it).
void GaborCoefficients(Reference& coefficients, HostArrayHandle signal,
                       const SptWindowCluster* window, const AnalysisParams& p) {
    const std::string what = "the Gabor coefficients (" + std::to_string(p.window) +
                             "-sample window, " + std::to_string(p.bins) + " bins)";
    CheckStatus(SptReDGTH(coefficients.number(), signal, window), what);
    if (p.window / p.bins % 2 == 0) return;
    int32_t rows = 0, columns = 0;
    SptParamCluster info{};
    CheckStatus(SptGetParamH(coefficients.number(), 0, &rows, &columns, &info), what);
    HostArray real(2), complex(2);
    CheckStatus(SptGetDataH(coefficients.number(), 0, real.handle(), complex.handle()), what);
    std::vector<std::complex<double>> values = complex.Values<std::complex<double>>();
    for (std::size_t row = 0; row < static_cast<std::size_t>(rows); ++row)
        for (std::size_t b = 1; b < static_cast<std::size_t>(columns); b += 2)
            values[row * columns + b] = -values[row * columns + b];
    HostArray aligned = HostArray::From({rows, columns}, values);
    const SptInfoCluster stored{0,
                                info.signalLength,
                                SPT_LAYOUT_COMPLEX,
                                info.timeStep,
                                info.frequencyBins,
                                info.firstFrequency,
                                0};
    CheckStatus(SptSetDataH(coefficients.number(), 0, real.handle(), aligned.handle(), &stored),
                what);
}

// The Gabor spectrogram of the Gabor coefficients, taken with the variance of
// the window they were made with.
int32_t RunGaborSp(int32_t ref, HostArrayHandle signal, const SptWindowCluster* window,
                   const AnalysisParams& p, Decomposition&) {
    Reference coefficients;
    GaborCoefficients(coefficients, signal, window, p);
    // The coefficients are stored complex now: of the bins' circle, the
    // positive frequencies of the real signal.
    uint8_t recompute = 1;
    int32_t destination = ref;
    return SptGaborSpH(coefficients.number(), 0, WindowVariance(p.window), p.order, 1.0, 1.0, 0,
                       std::max(p.bins / 2, 1), &recompute, &destination);
}

constexpr int32_t kMaxZoom = 64;                 // finest bins: 64 times the asked ones
constexpr int64_t kMaxCells = int64_t{1} << 22;  // cells of the refined picture

// Matching pursuit with chirplets up to the window's length, then the sum of
// their Wigner-Ville distributions on the grid of `step` and `bins`, stored in
// `ref` as a real spectrogram so that it is displayed like the others.

int32_t RunAdaptive(int32_t ref, HostArrayHandle signal, const SptWindowCluster*,
                    const AnalysisParams& p, Decomposition& found) {
    constexpr int32_t kEstimateRate = 0, kMirror = 1, kIterations = 10;
    constexpr double kSupport = 4.0;
    HostArray coefs(1), terms(1), residual(1);
    if (const int32_t status = SptReAdaptTransH(signal, kEstimateRate, kMirror, p.window, kSupport,
                                                kIterations, p.atoms, &found.residualPercent,
                                                coefs.handle(), terms.handle(), residual.handle()))
        return status;
    // The size field of the term parameters counts terms of four doubles.
    found.params = terms.Values<AtomParams>();
    found.coefs = coefs.Values<std::complex<double>>();

    int32_t n = 0;
    std::memcpy(&n, *signal, sizeof n);
    // An atom's distribution is a Gaussian in frequency with a deviation of
    // sqrt(alpha/2) radians per sample; sampled at bins much wider than that,
    // a long atom (a steady tone) would fall between them and vanish. The
    // bins are refined until the narrowest atom spans one, within a budget of
    // cells.
    double narrowest = 1.0;
    for (const AtomParams& a : found.params)
        if (a.alpha > 0) narrowest = std::min(narrowest, std::sqrt(a.alpha / 2));
    const int64_t rows = n / std::max(p.step, 1);
    int32_t factor = 1;
    while (factor < kMaxZoom &&
           6.283185307179586 / (static_cast<double>(factor) * p.bins) > narrowest &&
           rows * factor * p.bins <= kMaxCells)  // the doubled picture's cells
        factor *= 2;
    SptZoomCluster zoom{factor, 0, 0};
    const uint8_t real = 1;
    HostArray cells(2), none(2);
    if (found.params.empty()) {
        // No atom: an empty picture of the same grid.
        const std::vector<double> zeros(static_cast<std::size_t>(n / p.step) * (p.bins / 2));
        HostArray blank = HostArray::From({n / p.step, p.bins / 2}, zeros);
        const SptInfoCluster info{0, n, SPT_LAYOUT_REAL, p.step, p.bins, 0, -1};
        return SptSetDataH(ref, 0, blank.handle(), none.handle(), &info);
    }
    if (const int32_t status = SptAdaptSpExH(terms.handle(), coefs.handle(), n, p.step, p.bins,
                                             &zoom, &real, cells.handle(), 0))
        return status;
    const SptInfoCluster info{0, n, SPT_LAYOUT_REAL, p.step, zoom.factor * p.bins, zoom.firstBin,
                              -1};
    return SptSetDataH(ref, 0, cells.handle(), none.handle(), &info);
}

// An STFT frame starts at its time step; a Gabor frame is centred on it (it
// starts half a window earlier); a distribution's row r is the instant r * step.
double StftCentre(int32_t length) { return (length - 1) / 2.0; }
double GaborCentre(int32_t length) { return (length - 1) / 2.0 - length / 2; }
double InstantCentre(int32_t) { return 0.0; }

AnalysisParams Common(AnalysisParams common) { return common; }
AnalysisParams Adaptive(AnalysisParams common) {
    common.window = 4096;
    common.step = 64;
    common.atoms = 30;
    return common;
}
AnalysisParams Smoothed(AnalysisParams common) {
    common.bins = 256;
    common.step = 32;
    return common;
}

const std::vector<Method> kMethods = {
    {"stft",
     "STFT spectrogram",
     "short-time Fourier transform spectrogram",
     MethodKind::kLinear,
     RunStft,
     StftCentre,
     Common,
     0.0,
     true,
     {}},
    {"reassigned",
     "Reassigned spectrogram",
     "STFT spectrogram with the energy moved to its local centres of gravity",
     MethodKind::kLinear,
     RunReassigned,
     StftCentre,
     Common,
     0.0,
     true,
     {}},
    {"gabor",
     "Gabor coefficients",
     "discrete Gabor transform (the filter's domain)",
     MethodKind::kLinear,
     RunGabor,
     GaborCentre,
     Common,
     0.0,
     false,
     {}},
    {"gaborsp",
     "Gabor spectrogram",
     "Wigner-Ville distribution of the Gabor expansion, keeping the pairs of coefficients at "
     "most --order apart: order 0 is never negative, higher orders sharpen towards Wigner-Ville",
     MethodKind::kGaborSpectrogram,
     RunGaborSp,
     GaborCentre,
     Common,
     0.0,
     true,
     {0, 2, 4}},
    {"adaptive",
     "Adaptive spectrogram",
     "matching pursuit with Gaussian chirplets (--atoms, the longest --window samples); the sum "
     "of their Wigner-Ville distributions, free of cross-terms",
     MethodKind::kAdaptive,
     RunAdaptive,
     InstantCentre,
     Adaptive,
     0.5,
     true,
     {}},
    {"wvd",
     "Wigner-Ville distribution",
     "pseudo Wigner-Ville distribution: sharp ridges, with cross-terms midway between components",
     MethodKind::kDistribution,
     RunWvd,
     InstantCentre,
     Common,
     0.0,
     true,
     {}},
    {"cwd",
     "Choi-Williams distribution",
     "Cohen-class distribution whose exponential kernel damps the cross-terms (--sigma)",
     MethodKind::kDistribution,
     RunCwd,
     InstantCentre,
     Smoothed,
     0.5,
     true,
     {}},
    {"cone",
     "Cone-shaped distribution",
     "Cohen-class distribution with the cone-shaped kernel (--alpha)",
     MethodKind::kDistribution,
     RunCone,
     InstantCentre,
     Smoothed,
     0.5,
     true,
     {}},
};

const Method& GaborMethod() { return *FindMethod("gabor"); }

// The Gaussian analysis window.
std::vector<double> AnalysisWindow(int32_t length) {
    std::vector<double> w(static_cast<std::size_t>(std::max(length, 0)));
    if (length > 0) Gaussian(length, (length - 1) / 2.0, WindowVariance(length), w.data());
    return w;
}

std::string Describe(const Method& m, const AnalysisParams& p) {
    if (m.kind == MethodKind::kDistribution)
        return "bins " + std::to_string(p.bins) + ", step " + std::to_string(p.step);
    if (m.kind == MethodKind::kAdaptive)
        return std::to_string(p.atoms) + " atoms, longest " + std::to_string(p.window) + ", step " +
               std::to_string(p.step) + ", bins " + std::to_string(p.bins);
    return "window " + std::to_string(p.window) + ", step " + std::to_string(p.step) + ", bins " +
           std::to_string(p.bins) +
           (m.kind == MethodKind::kGaborSpectrogram ? ", order " + std::to_string(p.order) : "");
}

HostArray SignalArray(const Signal& signal) {
    return HostArray::From({static_cast<int32_t>(signal.samples.size())}, signal.samples);
}

// The signal and the window cluster of the parameters as the bridge takes them.
struct HostInput {
    HostInput(const Signal& s, const AnalysisParams& p)
        : signal(SignalArray(s)),
          window(HostArray::From({p.window}, AnalysisWindow(p.window))),
          cluster{window.handle(), p.step, p.bins} {}
    HostArray signal, window;
    SptWindowCluster cluster;
};

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

std::string PowerMethodNames() {
    std::string names;
    for (const Method& m : kMethods)
        if (m.power) names += (names.empty() ? "" : ", ") + std::string(m.name);
    return names;
}

// Its standard deviation is a sixth of its length.
double WindowVariance(int32_t length) { return (length / 6.0) * (length / 6.0); }

Reference::Reference() { CheckStatus(SptCreateRefH(&number_), "creating a result object"); }

Reference::~Reference() { SptDisposeRefH(number_); }

Decomposition Analyse(const Method& method, const Signal& signal, const AnalysisParams& params,
                      Reference& ref) {
    const HostInput input(signal, params);
    Decomposition found;
    CheckStatus(method.run(ref.number(), input.signal.handle(), &input.cluster, params, found),
                std::string(method.name) + " (" + Describe(method, params) + ", signal of " +
                    std::to_string(signal.samples.size()) + " samples)");
    return found;
}

std::vector<Atom> DescribeAtoms(const Decomposition& d, const Signal& signal) {
    double total = 0;
    for (double v : signal.samples) total += v * v;
    const auto n = static_cast<int32_t>(signal.samples.size());
    std::vector<Atom> atoms;
    for (std::size_t i = 0; i < d.params.size(); ++i) {
        const AtomParams& a = d.params[i];
        // The energy of the atom's real contribution, from its own expansion.
        HostArray params = HostArray::From({1}, std::vector<AtomParams>{a});
        HostArray coef = HostArray::From({1}, std::vector<std::complex<double>>{d.coefs[i]});
        HostArray alone(1);
        CheckStatus(SptReAdaptExpanH(params.handle(), coef.handle(), n, alone.handle()),
                    "the expansion of atom " + std::to_string(i + 1));
        double energy = 0;
        for (double v : alone.Values<double>()) energy += v * v;
        // A real signal's atom beyond half the sampling rate is rebuilt from
        // the negative side: it is the mirrored atom.
        const double cycles = a.centerFrequency / 6.283185307179586;
        const double turn = cycles - std::floor(cycles);
        const double side = turn < 0.5 ? 1.0 : -1.0;
        atoms.push_back({a.centerTime / signal.rate, (turn < 0.5 ? turn : 1.0 - turn) * signal.rate,
                         side * a.chirpRate / 6.283185307179586 * signal.rate * signal.rate,
                         1.0 / std::sqrt(2.0 * a.alpha) / signal.rate,
                         total > 0 ? energy / total : 0.0});
    }
    return atoms;
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

std::vector<Curve> FrequencyCurves(const Reference& ref, const Method& method, const Signal& signal,
                                   const AnalysisParams& params) {
    const double centre = method.frameCentre(params.window);
    std::vector<Curve> curves;
    {
        HostArray values(1);
        int32_t timeStep = 0;
        CheckStatus(SptInstantFreqH(ref.number(), 0.0, values.handle(), &timeStep),
                    "the instantaneous frequency of the " + std::string(method.name) + " result");
        Curve c{CurveKind::kInstantaneous, "instantaneous frequency", {}, {}};
        // Rows are instants timeStep samples apart; values are in cycles per sample.
        const std::vector<double> cycles = values.Values<double>();
        for (std::size_t i = 0; i < cycles.size(); ++i) {
            c.times.push_back((static_cast<double>(i) * timeStep + centre) / signal.rate);
            c.frequencies.push_back(cycles[i] * signal.rate);
        }
        curves.push_back(std::move(c));
    }
    if (method.kind == MethodKind::kGaborSpectrogram) {
        Reference coefficients;
        const HostInput input(signal, params);
        GaborCoefficients(coefficients, input.signal.handle(), &input.cluster, params);
        HostArray values(1);
        CheckStatus(SptMIFOfGaborSpH(coefficients.number(), WindowVariance(params.window),
                                     params.order, 1.0, values.handle()),
                    "the mean instantaneous frequency of the Gabor spectrogram");
        Curve c{CurveKind::kMeanOfGaborSpectrogram,
                "mean instantaneous frequency (order " + std::to_string(params.order) + ")",
                {},
                {}};
        // Value l is the instant of Gabor frame l, in radians per sample.
        const std::vector<double> radians = values.Values<double>();
        for (std::size_t l = 0; l < radians.size(); ++l) {
            c.times.push_back((static_cast<double>(l) * params.step + centre) / signal.rate);
            c.frequencies.push_back(radians[l] / 6.283185307179586 * signal.rate);
        }
        curves.push_back(std::move(c));
    }
    return curves;
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
