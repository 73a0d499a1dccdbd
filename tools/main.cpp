// mornavel: time-frequency pictures and filtering of recordings from the
// command line, through the same bridge calls as the host application.

#include <CLI/CLI.hpp>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "analysis.h"
#include "capture.h"
#include "drawing.h"
#include "failure.h"
#include "figure.h"
#include "output_file.h"
#include "page.h"
#include "progress.h"
#include "server.h"
#include "signal_io.h"
#include "sound_io.h"

namespace front {
namespace {

// Options shared by the commands.
struct Common {
    AnalysisParams params;
    DisplayOptions display;
    InputOptions input;
    std::string inputPath;
    std::string colours = "viridis";
    std::string size = "1280x720";
    bool linear = false;
    bool quiet = false;
};

void AddInputOptions(CLI::App& app, Common& c) {
    app.add_option("INPUT", c.inputPath,
                   "audio file (WAV, FLAC, AIFF, OGG, ...) or text columns (.csv, .tsv, .txt, "
                   ".dat); the built-in capture when omitted");
    app.add_option("--channel", c.input.channel, "audio channel or text column, from 1")
        ->check(CLI::Range(1, 1024));
    app.add_option("--rate", c.input.rate, "sample rate in Hz of a text input")
        ->check(CLI::PositiveNumber);
}

void AddAnalysisOptions(CLI::App& app, Common& c) {
    app.add_option("--window", c.params.window, "Gaussian window length in samples")
        ->check(CLI::Range(1, 1 << 22))
        ->capture_default_str();
    app.add_option("--step", c.params.step, "samples between frames")
        ->check(CLI::Range(1, 1 << 22))
        ->capture_default_str();
    app.add_option("--bins", c.params.bins, "frequency bins (a power of two)")
        ->check(CLI::Range(1, 1 << 22))
        ->capture_default_str();
    app.add_option("--sigma", c.params.sigma, "cwd: Choi-Williams kernel parameter")
        ->capture_default_str();
    app.add_option("--alpha", c.params.alpha, "cone: cone-shaped kernel parameter")
        ->capture_default_str();
    app.add_option("--order", c.params.order,
                   "gaborsp: largest distance of the coefficient pairs summed (0: no cross-terms)")
        ->check(CLI::Range(0, 4096))
        ->capture_default_str();
    app.add_option("--atoms", c.params.atoms, "adaptive: largest number of chirplets to find")
        ->check(CLI::Range(0, 100000))
        ->capture_default_str();
    app.add_flag("--analytic", c.params.analytic,
                 "wvd, cwd, cone: analyse the analytic signal instead of the interpolated one");
}

void AddDisplayOptions(CLI::App& app, Common& c) {
    app.add_flag("--linear", c.linear, "show power, not decibels");
    app.add_option("--range", c.display.range,
                   "decibels shown below the peak (the darker cells are clipped)")
        ->check(CLI::Range(1.0, 70.0));
    app.add_option("--top", c.display.topFraction, "fraction of the brightest cells clipped")
        ->check(CLI::Range(0.0, 0.999));
    app.add_option("--bottom", c.display.bottomFraction, "fraction of the darkest cells clipped")
        ->check(CLI::Range(0.0, 0.999))
        ->excludes("--range");
    app.add_option("--colours", c.colours, "colour map: viridis or grey")->capture_default_str();
    app.add_option("--size", c.size, "picture size WIDTHxHEIGHT in pixels")->capture_default_str();
}

void AddQuiet(CLI::App& app, Common& c) { app.add_flag("-q,--quiet", c.quiet, "no progress bar"); }

Look ParseLook(const Common& c) {
    Look look{};
    if (!ParseColourMap(c.colours, look.map))
        Fail(kExitUsage, "unknown colour map '" + c.colours + "'; use viridis or grey");
    char x = 0;
    char rest = 0;
    if (std::sscanf(c.size.c_str(), "%d%c%d%c", &look.width, &x, &look.height, &rest) != 3 ||
        (x != 'x' && x != 'X') || look.width < 480 || look.height < 320 || look.width > 8000 ||
        look.height > 8000)
        Fail(kExitUsage,
             "--size wants WIDTHxHEIGHT, from 480x320 to 8000x8000, not '" + c.size + "'");
    return look;
}

// The files a command writes. They are opened before the work, so that an
// unwritable one fails early, and renamed into place together at the end.
class Outputs {
  public:
    OutputFile& Add(const std::string& path) {
        files_.push_back(std::make_unique<OutputFile>(path));
        return *files_.back();
    }
    OutputFile* AddIf(const std::string& path) { return path.empty() ? nullptr : &Add(path); }
    void Commit() {
        for (auto& f : files_) f->Commit();
    }

  private:
    std::vector<std::unique_ptr<OutputFile>> files_;
};

Signal LoadSignal(const Common& c) {
    if (c.inputPath.empty()) {
        if (c.input.rate > 0) Fail(kExitUsage, "--rate applies to a text input only");
        return capture::Make();
    }
    return ReadSignal(c.inputPath, c.input);
}

DisplayOptions Display(const Common& c) {
    DisplayOptions d = c.display;
    d.decibel = !c.linear;
    if (c.linear && d.range > 0) Fail(kExitUsage, "--range applies to decibels, not with --linear");
    return d;
}

// How the pictures look and what they show, from the shared options.
std::pair<Look, DisplayOptions> ParseView(const Common& c) { return {ParseLook(c), Display(c)}; }

bool ShowProgress(const Common& c) { return !c.quiet && Progress::Terminal(); }

double Milliseconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
        .count();
}

void WriteCsv(OutputFile& file, const Graph& g, const std::vector<Curve>& curves) {
    WriteCsv(g, curves, [&](const std::string& text) { file.Write(text); });
}

// The atoms of an adaptive decomposition as rows of text, the header first.
std::vector<std::vector<std::string>> AtomTable(const std::vector<Atom>& atoms) {
    std::vector<std::vector<std::string>> table = {
        {"atom", "time (s)", "frequency (Hz)", "chirp rate (Hz/s)", "duration (s)", "energy (%)"}};
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        const Atom& a = atoms[i];
        table.push_back({std::to_string(i + 1), Fixed(a.time, 4), Fixed(a.frequency, 1),
                         Fixed(a.rate, 1), Fixed(a.duration, 5), Fixed(100.0 * a.energyShare, 3)});
    }
    return table;
}

std::string Residual(const Decomposition& d) {
    return "residual " + Fixed(d.residualPercent, 3) + " % of the signal's energy";
}

// The table aligned in columns, and the residual.
void PrintAtoms(const std::vector<std::vector<std::string>>& table, const Decomposition& d) {
    std::vector<std::size_t> width(table[0].size(), 0);
    for (const auto& row : table)
        for (std::size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], row[c].size());
    for (const auto& row : table) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c)
            line += std::string(width[c] - row[c].size() + (c ? 2 : 0), ' ') + row[c];
        std::printf("%s\n", line.c_str());
    }
    std::printf("%s\n", Residual(d).c_str());
}

void WriteAtomCsv(OutputFile& file, const std::vector<Atom>& atoms) {
    std::string text = "atom,time_s,frequency_Hz,chirp_rate_Hz_per_s,duration_s,energy_share\n";
    char line[200];
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        const Atom& a = atoms[i];
        std::snprintf(line, sizeof line, "%zu,%.9g,%.9g,%.9g,%.9g,%.9g\n", i + 1, a.time,
                      a.frequency, a.rate, a.duration, a.energyShare);
        text += line;
    }
    file.Write(text);
}

// render ----------------------------------------------------------------------

struct RenderArgs {
    Common common;
    std::string method;
    std::string output;
    std::string csv;
    bool frequencyCurves = false;
};

const Method& RenderMethod(const RenderArgs& a) {
    const Method* method = FindMethod(a.method);
    if (!method) Fail(kExitUsage, "unknown method '" + a.method + "'; methods: " + MethodNames());
    if (a.frequencyCurves && !method->power)
        Fail(kExitUsage, "--if needs a power distribution (" + PowerMethodNames() + "); " +
                             method->name + " shows " + method->title);
    return *method;
}

// Draws the picture of a signal (and its CSV) as `render` asks; `signal` is
// called once the outputs are known to be writable.
template <class GetSignal>
int RenderSignal(const RenderArgs& a, GetSignal getSignal) {
    const Method* method = &RenderMethod(a);
    const auto [look, display] = ParseView(a.common);
    Outputs outputs;
    OutputFile& png = outputs.Add(a.output);
    OutputFile* csv = outputs.AddIf(a.csv);
    const Signal signal = getSignal();

    Progress progress(3, ShowProgress(a.common));
    progress.Begin(method->name);
    Reference ref;
    const Decomposition found = Analyse(*method, signal, a.common.params, ref);
    const bool adaptive = method->kind == MethodKind::kAdaptive;
    progress.Begin("display");
    const Graph graph =
        MakeGraph(ref, *method, signal, a.common.params, display, csv != nullptr && !adaptive);
    const std::vector<Curve> curves = a.frequencyCurves
                                          ? FrequencyCurves(ref, *method, signal, a.common.params)
                                          : std::vector<Curve>{};
    progress.Begin("drawing");
    DrawPng(MakeFigure(look, graph, Title(*method, a.common.params) + " of " + signal.name,
                       Subtitle(signal, *method, a.common.params, display), &curves),
            png);
    std::vector<Atom> atoms;
    if (adaptive) {
        atoms = DescribeAtoms(found, signal);
        if (csv) WriteAtomCsv(*csv, atoms);
    } else if (csv) {
        WriteCsv(*csv, graph, curves);
    }
    progress.Finish();
    outputs.Commit();
    if (adaptive) PrintAtoms(AtomTable(atoms), found);
    return kExitOk;
}

int Render(const RenderArgs& a) {
    return RenderSignal(a, [&] { return LoadSignal(a.common); });
}

// sound -----------------------------------------------------------------------

int Devices() {
    const auto list = [](const char* heading, const std::vector<SoundDevice>& devices,
                         int defaultId) {
        std::printf("%s\n", heading);
        for (const SoundDevice& d : devices)
            std::printf("  %2d  %s%s\n", d.id, d.name.c_str(),
                        d.id == defaultId ? "  (default)" : "");
    };
    list("Recording devices (record --device N):", InputDevices(), DefaultInputDevice());
    list("Playback devices (play --device N):", OutputDevices(), DefaultOutputDevice());
    return kExitOk;
}

struct RecordArgs {
    RecordOptions options;
    RenderArgs render;  // render.method empty: write the sound itself
};

int RecordCommand(const RecordArgs& a) {
    if (a.render.method.empty()) {
        if (!a.render.csv.empty() || a.render.frequencyCurves)
            Fail(kExitUsage, "--csv and --if need --render METHOD");
        Outputs outputs;
        OutputFile& wav = outputs.Add(a.render.output);
        const Recording recording = Record(a.options);
        WriteRecording(wav, recording);
        outputs.Commit();
        return kExitOk;
    }
    RenderMethod(a.render);  // a bad method is a usage error before anything is recorded
    return RenderSignal(a.render, [&] {
        RecordOptions options = a.options;
        if (options.device < 0) options.device = DefaultInputDevice();
        return RecordedSignal(Record(options),
                              "a recording from " + InputDeviceName(options.device));
    });
}

struct PlayArgs {
    std::string path;
    int device = -1;
};

// filter ----------------------------------------------------------------------

struct FilterArgs {
    Common common;
    std::string seed;
    std::vector<double> grow;
    std::string output;
    std::string mask;
};

FilterRequest ParseSeed(const std::string& seed, const std::vector<double>& grow) {
    FilterRequest r;
    char rest = 0;
    if (std::sscanf(seed.c_str(), "%lf,%lf%c", &r.seedTime, &r.seedFrequency, &rest) != 2 ||
        !std::isfinite(r.seedTime) || !std::isfinite(r.seedFrequency))
        Fail(kExitUsage, "--seed wants TIME,FREQUENCY in seconds and hertz, not '" + seed + "'");
    r.grow = grow;
    return r;
}

// The Gabor image with the selected region in colour over a grey rest.
void DrawRegion(OutputFile& file, const FilterResult& result, const Signal& signal, const Common& c,
                const DisplayOptions& display, const Look& look, const FilterRequest& request) {
    Figure figure =
        MakeFigure(look, result.graph, "Filter region on the Gabor coefficients of " + signal.name,
                   "seed " + Fixed(request.seedTime, 3) + " s, " + Fixed(request.seedFrequency, 0) +
                       " Hz; " + Subtitle(signal, *FindMethod("gabor"), c.params, display));
    figure.region = &result.region;
    DrawPng(figure, file);
}

int FilterCommand(const FilterArgs& a) {
    const FilterRequest request = ParseSeed(a.seed, a.grow);
    const auto [look, display] = ParseView(a.common);
    Outputs outputs;
    OutputFile& wav = outputs.Add(a.output);
    OutputFile* mask = outputs.AddIf(a.mask);
    const Signal signal = LoadSignal(a.common);

    Progress progress(1, ShowProgress(a.common));
    progress.Begin("filter");
    const FilterResult result = Filter(signal, a.common.params, display, request);
    WriteWav(wav, result.samples, signal.rate);
    if (mask) DrawRegion(*mask, result, signal, a.common, display, look, request);
    progress.Finish();
    outputs.Commit();
    return kExitOk;
}

// demo ------------------------------------------------------------------------

struct DemoArgs {
    Common common;
    std::string out = "out";
};

// The demo filter keeps the linear chirp: seeded one second in, where it is at
// 2000 + 7000 / 3 Hz, and grown once to take in the chirp's skirts.
FilterRequest DemoFilterRequest() {
    FilterRequest r;
    r.seedTime = 1.0;
    r.seedFrequency = capture::InstantaneousFrequency(capture::kLinearChirp, r.seedTime);
    r.grow = {0.3};
    return r;
}

// The first `seconds` of a signal (all of it for 0).
Signal Excerpt(const Signal& s, double seconds) {
    const auto count = static_cast<std::size_t>(seconds * s.rate);
    if (seconds <= 0 || count >= s.samples.size()) return s;
    Signal e = s;
    e.samples.resize(count);
    e.name = "first " + Fixed(seconds, 1) + " s of the " + s.name;
    return e;
}

std::string CellCount(const Graph& g) {
    return std::to_string(g.rows) + " x " + std::to_string(g.columns) + " cells";
}

int Demo(const DemoArgs& a) {
    const auto [look, display] = ParseView(a.common);
    MakeFolder(a.out);
    const auto path = [&](const std::string& name) {
        return (std::filesystem::path(a.out) / name).string();
    };
    const Signal signal = capture::Make();
    const AnalysisParams& params = a.common.params;
    const std::vector<Method>& methods = Methods();

    Outputs outputs;
    std::vector<PageImage> images;
    Progress progress(static_cast<int>(methods.size()) + 2, ShowProgress(a.common));
    for (const Method& method : methods) {
        progress.Begin(method.name);
        const AnalysisParams common = method.demoParams(params);
        const Signal excerpt = Excerpt(signal, method.demoSeconds);
        std::vector<int32_t> orders = method.demoOrders;
        if (orders.empty()) orders.push_back(common.order);
        for (int32_t order : orders) {
            AnalysisParams own = common;
            own.order = order;
            const std::string file = std::string(method.name) +
                                     (method.demoOrders.empty() ? "" : std::to_string(order)) +
                                     ".png";
            OutputFile& png = outputs.Add(path(file));
            const auto start = std::chrono::steady_clock::now();
            Reference ref;
            const Decomposition found = Analyse(method, excerpt, own, ref);
            const Graph graph = MakeGraph(ref, method, excerpt, own, display, false);
            const double ms = Milliseconds(start);
            DrawPng(MakeFigure(look, graph, Title(method, own) + " of the " + excerpt.name,
                               Subtitle(excerpt, method, own, display)),
                    png);
            images.push_back({file,
                              Title(method, own),
                              method.summary,
                              Parameters(method, own, signal.rate),
                              CellCount(graph),
                              ms,
                              {}});
            if (method.kind == MethodKind::kAdaptive) {
                images.back().table = AtomTable(DescribeAtoms(found, excerpt));
                images.back().summary += "; " + Residual(found);
            }
        }
    }

    progress.Begin("filter");
    const FilterRequest request = DemoFilterRequest();
    auto start = std::chrono::steady_clock::now();
    const FilterResult filtered = Filter(signal, params, display, request);
    double ms = Milliseconds(start);
    DrawRegion(outputs.Add(path("filter.png")), filtered, signal, a.common, display, look, request);
    images.push_back({"filter.png",
                      "Gabor-mask filter",
                      "region grown from a seed on the linear chirp (" +
                          Fixed(request.seedTime, 1) + " s, " + Fixed(request.seedFrequency, 0) +
                          " Hz); the coefficients outside it are zeroed and the signal "
                          "synthesised with the dual window",
                      Parameters(*FindMethod("gabor"), params, signal.rate),
                      CellCount(filtered.graph),
                      ms,
                      {}});

    // The chirp the filter kept, with its frequency measured two ways over
    // the frequency it was made with.
    progress.Begin("instantaneous frequency");
    const Method& gaborsp = *FindMethod("gaborsp");
    Signal chirp = signal;
    chirp.samples = filtered.samples;
    chirp.name = "filtered linear chirp";
    start = std::chrono::steady_clock::now();
    Reference chirpRef;
    Analyse(gaborsp, chirp, params, chirpRef);
    const Graph chirpGraph = MakeGraph(chirpRef, gaborsp, chirp, params, display, false);
    std::vector<Curve> curves = FrequencyCurves(chirpRef, gaborsp, chirp, params);
    ms = Milliseconds(start);
    Curve made{CurveKind::kTrue, "frequency the chirp was made with", {}, {}};
    for (double t = 0; t <= capture::Duration() + 1e-9; t += 0.01) {
        made.times.push_back(t);
        made.frequencies.push_back(capture::InstantaneousFrequency(capture::kLinearChirp, t));
    }
    curves.insert(curves.begin(), std::move(made));  // drawn first, under the measured ones
    DrawPng(MakeFigure(look, chirpGraph,
                       "Instantaneous frequency of the " + chirp.name + " (" +
                           Title(gaborsp, params) + ")",
                       Subtitle(chirp, gaborsp, params, display), &curves),
            outputs.Add(path("frequency.png")));
    images.push_back({"frequency.png",
                      "Instantaneous frequency",
                      "of the chirp the filter kept: the mean frequency of every row of its Gabor "
                      "spectrogram and the mean instantaneous frequency computed from its Gabor "
                      "coefficients, over the frequency it was made with",
                      Parameters(gaborsp, params, signal.rate),
                      CellCount(chirpGraph),
                      ms,
                      {}});
    WriteWav(outputs.Add(path("filtered.wav")), filtered.samples, signal.rate);
    WriteWav(outputs.Add(path("demo.wav")), signal.samples, signal.rate);
    outputs.Add(path("index.html"))
        .Write(IndexHtml(
            "Mornavel demo",
            "The built-in capture (3 s at 44.1 kHz: tones at 500 Hz and 17 kHz, a linear chirp "
            "from 2 to 9 kHz, a quadratic chirp from 11 to 14.5 kHz, a click at 1.5 s and a little "
            "white noise) with every method, and the linear chirp cut out of it.",
            images,
            {{"demo.wav", "the capture"},
             {"filtered.wav", "the linear chirp cut out by the filter"}}));
    progress.Finish();
    outputs.Commit();
    std::printf("%s\n", std::filesystem::absolute(path("index.html")).string().c_str());
    return kExitOk;
}

// -----------------------------------------------------------------------------

int Main(int argc, char** argv) {
    CLI::App app{"mornavel: time-frequency pictures and filtering of recordings", "mornavel"};
    app.footer(kExitCodesHelp);
    app.require_subcommand(1);
    app.set_version_flag("--version", "mornavel 1.0");

    DemoArgs demo;
    CLI::App* demoCmd = app.add_subcommand(
        "demo", "render the built-in capture with every method into a folder with index.html");
    demoCmd->add_option("--out", demo.out, "output folder")->capture_default_str();
    AddAnalysisOptions(*demoCmd, demo.common);
    AddDisplayOptions(*demoCmd, demo.common);
    AddQuiet(*demoCmd, demo.common);
    demoCmd->footer(kExitCodesHelp);

    RenderArgs render;
    CLI::App* renderCmd =
        app.add_subcommand("render", "draw the time-frequency picture of a signal as PNG");
    renderCmd->add_option("METHOD", render.method, "analysis method: " + MethodNames())->required();
    AddInputOptions(*renderCmd, render.common);
    renderCmd->add_option("-o,--output", render.output, "PNG file to write")->required();
    renderCmd->add_option("--csv", render.csv,
                          "also write the matrix with its axes (and the --if curves) as CSV; for "
                          "adaptive, the table of atoms it prints");
    renderCmd->add_flag("--if", render.frequencyCurves,
                        "draw the instantaneous frequency of every instant over the picture "
                        "(and, for gaborsp, the mean instantaneous frequency of its order)");
    AddAnalysisOptions(*renderCmd, render.common);
    AddDisplayOptions(*renderCmd, render.common);
    AddQuiet(*renderCmd, render.common);
    renderCmd->footer(kExitCodesHelp);

    FilterArgs filter;
    CLI::App* filterCmd = app.add_subcommand(
        "filter", "cut the component under a seed point out of a signal (Gabor mask)");
    AddInputOptions(*filterCmd, filter.common);
    filterCmd->add_option("--seed", filter.seed, "TIME,FREQUENCY of the component (s, Hz)")
        ->required();
    filterCmd
        ->add_option("--grow", filter.grow,
                     "grow the region by lowering its level by this fraction (repeatable)")
        ->check(CLI::Range(0.0, 1.0))
        ->allow_extra_args(false);
    filterCmd->add_option("-o,--output", filter.output, "WAV file to write")->required();
    filterCmd->add_option("--mask", filter.mask, "also draw the selected region as PNG");
    AddAnalysisOptions(*filterCmd, filter.common);
    AddDisplayOptions(*filterCmd, filter.common);
    AddQuiet(*filterCmd, filter.common);
    filterCmd->footer(kExitCodesHelp);

    CLI::App* devicesCmd = app.add_subcommand("devices", "list the recording and playback devices");

    RecordArgs record;
    CLI::App* recordCmd = app.add_subcommand(
        "record", "record sound into a WAV file, or straight into a picture with --render");
    recordCmd
        ->add_option("--device", record.options.device,
                     "recording device (see devices); default: the first sound card, else the "
                     "tone source")
        ->check(CLI::Range(0, 1 << 20));
    recordCmd->add_option("--seconds", record.options.seconds, "duration")->capture_default_str();
    recordCmd
        ->add_option("--rate", record.options.rate,
                     "samples per second: 8000, 11025, 22050 or 44100")
        ->capture_default_str();
    recordCmd->add_option("--channels", record.options.channels, "1 or 2")->capture_default_str();
    recordCmd->add_option("--bits", record.options.bits, "8 or 16")->capture_default_str();
    recordCmd->add_option("--render", record.render.method,
                          "draw the recording (its first channel) with this method instead of "
                          "writing it: " +
                              MethodNames());
    recordCmd
        ->add_option("-o,--output", record.render.output, "WAV file, or PNG file with --render")
        ->required();
    recordCmd->add_option("--csv", record.render.csv,
                          "with --render: also write the matrix as CSV");
    recordCmd->add_flag("--if", record.render.frequencyCurves,
                        "with --render: draw the instantaneous frequency over the picture");
    AddAnalysisOptions(*recordCmd, record.render.common);
    AddDisplayOptions(*recordCmd, record.render.common);
    AddQuiet(*recordCmd, record.render.common);
    recordCmd->footer(kExitCodesHelp);

    PlayArgs play;
    CLI::App* playCmd =
        app.add_subcommand("play", "play a sound file and return when it has played");
    playCmd->add_option("FILE", play.path, "sound file (WAV, FLAC, AIFF, OGG, ...)")->required();
    playCmd
        ->add_option("--device", play.device,
                     "playback device (see devices); default: the first sound card, else the "
                     "silent sink")
        ->check(CLI::Range(0, 1 << 20));
    playCmd->footer(kExitCodesHelp);

    ServeOptions serve;
    CLI::App* serveCmd = app.add_subcommand(
        "serve", "the analyser in the browser: a local server, and the address of its page");
    serveCmd->add_option("FILE", serve.files, "recordings offered besides the built-in capture");
    serveCmd->add_option("--port", serve.port, "port to listen on (0: a free one)")
        ->check(CLI::Range(0, 65535))
        ->capture_default_str();
    serveCmd
        ->add_option("--host", serve.host,
                     "address to listen on; any other than 127.0.0.1 is reachable from elsewhere")
        ->capture_default_str();
    serveCmd->add_option("--upload-limit", serve.uploadLimitMB, "largest upload, in MB")
        ->check(CLI::Range(1.0, 4096.0))
        ->capture_default_str();
    serveCmd->add_flag("--open", serve.open, "open the page in the desktop's browser");
    serveCmd->footer(kExitCodesHelp);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "mornavel: %s (see --help)\n", e.what());
        return kExitUsage;
    }
    if (demoCmd->parsed()) return Demo(demo);
    if (renderCmd->parsed()) return Render(render);
    if (serveCmd->parsed()) return Serve(serve);
    if (devicesCmd->parsed()) return Devices();
    if (recordCmd->parsed()) return RecordCommand(record);
    if (playCmd->parsed()) {
        Play(play.path, play.device);
        return kExitOk;
    }
    return FilterCommand(filter);
}

}  // namespace
}  // namespace front

int main(int argc, char** argv) {
    struct Fonts {
        ~Fonts() { front::ReleaseFonts(); }
    } fonts;
    try {
        return front::Main(argc, argv);
    } catch (const front::Failure& f) {
        std::fprintf(stderr, "mornavel: %s\n", f.what());
        return f.exitCode();
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "mornavel: out of memory\n");
        return front::kExitRefused;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mornavel: %s\n", e.what());
        return front::kExitRefused;
    }
}
