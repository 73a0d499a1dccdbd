// The front end from the outside: the demo's pictures and page, the filter's
// separation of the linear chirp from the tones, files written by another
// program, and every kind of bad input ending with one line, its exit code
// and no output file.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <functional>
#include <set>
#include <sstream>

#include "capture.h"
#include "program_run.h"

namespace {

using toolstest::Picture;
using toolstest::RunMornavel;
using toolstest::TempFolder;

// The demo's analysis parameters (the program's defaults).
constexpr int kWindow = 512, kStep = 128, kBins = 512;
constexpr int kPictureWidth = 1280, kPictureHeight = 720;

double Luminance(uint32_t rgb) {
    return 0.2126 * (rgb >> 16 & 0xFF) + 0.7152 * (rgb >> 8 & 0xFF) + 0.0722 * (rgb & 0xFF);
}

// The plot is framed by one-pixel black lines; returns its inside.
struct Box {
    int left = 0, top = 0, width = 0, height = 0;
};
bool FindPlot(const Picture& p, Box& box) {
    // A frame line is black over a long run, unlike tick marks and text.
    const auto verticalLine = [&](int x, int y) {
        return p.at(x, y) == 0 && p.at(x, y - 20) == 0 && p.at(x, y + 20) == 0;
    };
    const auto horizontalLine = [&](int x, int y) {
        return p.at(x, y) == 0 && p.at(x - 20, y) == 0 && p.at(x + 20, y) == 0;
    };
    const int my = p.height / 2;
    int x0 = 1;
    while (x0 < p.width - 1 && !verticalLine(x0, my)) ++x0;
    int x1 = x0 + 1;
    while (x1 < p.width - 1 && !verticalLine(x1, my)) ++x1;
    const int mx = (x0 + x1) / 2;
    int y0 = 21;
    while (y0 < p.height - 21 && !horizontalLine(mx, y0)) ++y0;
    int y1 = y0 + 1;
    while (y1 < p.height - 21 && !horizontalLine(mx, y1)) ++y1;
    box = {x0 + 1, y0 + 1, x1 - x0 - 1, y1 - y0 - 1};
    return x1 < p.width - 1 && y1 < p.height - 21 && box.width > 100 && box.height > 100;
}

TEST(Demo, RendersEveryMethodIntoAPageThatShowsThem) {
    TempFolder dir;
    const auto run = RunMornavel({"demo", "--out", "site"}, dir);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto site = dir.path() / "site";
    EXPECT_EQ(run.out, (site / "index.html").string() + "\n");
    EXPECT_EQ(run.err, "");

    const std::string html = toolstest::ReadFile((site / "index.html").string());
    std::set<std::string> referenced;
    for (const std::string attribute : {"src=\"", "href=\""})
        for (auto at = html.find(attribute); at != std::string::npos;
             at = html.find(attribute, at + 1)) {
            const auto start = at + attribute.size();
            referenced.insert(html.substr(start, html.find('"', start) - start));
        }
    for (const auto& name : referenced)
        EXPECT_TRUE(std::filesystem::is_regular_file(site / name)) << name;
    std::set<std::string> pictures;
    for (const auto& entry : std::filesystem::directory_iterator(site))
        if (entry.path().extension() == ".png") pictures.insert(entry.path().filename().string());
    for (const char* expected :
         {"stft.png", "reassigned.png", "gabor.png", "gaborsp0.png", "gaborsp2.png", "gaborsp4.png",
          "adaptive.png", "wvd.png", "cwd.png", "cone.png", "filter.png", "frequency.png"})
        EXPECT_TRUE(pictures.count(expected)) << expected;
    for (const auto& name : pictures) EXPECT_TRUE(referenced.count(name)) << name;
    EXPECT_NE(html.find("<th>chirp rate (Hz/s)</th>"), std::string::npos) << "no atom table";
    EXPECT_TRUE(referenced.count("demo.wav"));
    EXPECT_TRUE(referenced.count("filtered.wav"));

    for (const auto& name : pictures) {
        SCOPED_TRACE(name);
        Picture p;
        ASSERT_TRUE(toolstest::ReadPng((site / name).string(), p));
        EXPECT_EQ(p.width, kPictureWidth);
        EXPECT_EQ(p.height, kPictureHeight);
        Box plot;
        ASSERT_TRUE(FindPlot(p, plot));
        // Not blank: many colours and a real spread of brightness.
        std::set<uint32_t> colours;
        double sum = 0, squares = 0;
        for (int y = plot.top; y < plot.top + plot.height; ++y)
            for (int x = plot.left; x < plot.left + plot.width; ++x) {
                colours.insert(p.at(x, y));
                const double l = Luminance(p.at(x, y));
                sum += l;
                squares += l * l;
            }
        const double n = static_cast<double>(plot.width) * plot.height;
        EXPECT_GT(colours.size(), 64u);
        EXPECT_GT(std::sqrt(squares / n - (sum / n) * (sum / n)), 10.0);

        if (name != "stft.png") continue;
        // STFT frames start every step and are centred half a window later;
        // the cells span the plot edge to edge.
        using namespace front::capture;
        const int frames = (kLength - kWindow) / kStep + 1;
        const double tLeft = ((kWindow - 1) / 2.0 - kStep / 2.0) / kRate;
        const double tRight = tLeft + frames * kStep / kRate;
        const double cell = kRate / kBins;
        const double fBottom = -cell / 2, fTop = (kBins / 2 - 0.5) * cell;
        for (double t : {0.5, 1.0, 2.0, 2.5}) {
            const int x = plot.left + static_cast<int>((t - tLeft) / (tRight - tLeft) * plot.width);
            double best = -1, ridge = 0;
            for (int y = plot.top; y < plot.top + plot.height; ++y) {
                const double f =
                    fBottom + (plot.top + plot.height - y - 0.5) / plot.height * (fTop - fBottom);
                // Between the low tone and the quadratic chirp only the linear chirp lives.
                if (f < 1000 || f > 10000) continue;
                if (Luminance(p.at(x, y)) > best) best = Luminance(p.at(x, y)), ridge = f;
            }
            const double expected = InstantaneousFrequency(kLinearChirp, t);
            EXPECT_LE(std::abs(ridge - expected) / cell, 2.0)
                << "at " << t << " s the ridge is at " << ridge << " Hz, the chirp at " << expected;
        }
    }
}

// Amplitude of the component exp(i phase(t)) in the signal, by projection.
double Amplitude(const std::vector<double>& x, double rate,
                 const std::function<double(double)>& phase) {
    std::complex<double> sum = 0;
    for (std::size_t i = 0; i < x.size(); ++i) sum += x[i] * std::polar(1.0, -phase(i / rate));
    return 2.0 * std::abs(sum) / static_cast<double>(x.size());
}

TEST(Filter, KeepsTheLinearChirpAndDropsTheTones) {
    using namespace front::capture;
    TempFolder dir;
    const double t = 1.0, f = InstantaneousFrequency(kLinearChirp, t);
    const auto run = RunMornavel({"filter", "--seed", std::to_string(t) + "," + std::to_string(f),
                                  "--grow", "0.3", "-o", "chirp.wav", "--mask", "mask.png"},
                                 dir);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    toolstest::Sound out;
    ASSERT_TRUE(toolstest::ReadSound(dir / "chirp.wav", out));
    ASSERT_EQ(out.samples.size(), static_cast<std::size_t>(kLength));
    EXPECT_EQ(out.rate, kRate);
    Picture mask;
    EXPECT_TRUE(toolstest::ReadPng(dir / "mask.png", mask));

    for (const Tone& tone : kTones) {
        const double a = Amplitude(
            out.samples, kRate, [&](double s) { return 6.283185307179586 * tone.frequency * s; });
        const double db = 20 * std::log10(a / tone.amplitude);
        std::printf("tone at %.0f Hz: %.1f dB\n", tone.frequency, db);
        EXPECT_LT(db, -40.0) << tone.frequency << " Hz";
    }
    const double kept =
        Amplitude(out.samples, kRate, [](double s) { return Phase(kLinearChirp, s); });
    EXPECT_GT(kept, 0.8 * kLinearChirp.amplitude);
    const double other =
        Amplitude(out.samples, kRate, [](double s) { return Phase(kQuadraticChirp, s); });
    EXPECT_LT(20 * std::log10(other / kQuadraticChirp.amplitude), -40.0);
}

// A CSV written with --csv: the corner label, the frequencies and any curve
// names in the header, then a time and the row's fields.
struct Csv {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
    // The index of a named column; header.size() when there is none.
    std::size_t Column(const std::string& name) const {
        return std::find(header.begin(), header.end(), name) - header.begin();
    }
};
Csv ReadCsv(const std::string& path) {
    Csv csv;
    std::istringstream text(toolstest::ReadFile(path));
    std::string line, field;
    for (bool first = true; std::getline(text, line); first = false) {
        std::istringstream fields(line);
        std::vector<std::string> row;
        while (std::getline(fields, field, ',')) row.push_back(field);
        if (line.back() == ',') row.emplace_back();  // an empty last field
        (first ? csv.header : csv.rows.emplace_back()) = row;
    }
    return csv;
}

// Files written by other programs are read and rendered; the peak of the
// matrix written with --csv lies at the tone the file was made with.
struct ForeignFile {
    const char* name;
    std::vector<std::string> soxArgs;  // empty: a text file written here
    std::string file;
    std::vector<std::string> options;
    double tone;  // Hz
};

class ForeignFiles : public ::testing::TestWithParam<ForeignFile> {};

TEST_P(ForeignFiles, AreRenderedWithTheirToneAtThePeak) {
    const ForeignFile& c = GetParam();
    TempFolder dir;
    if (c.soxArgs.empty()) {
        std::string text = "time,value\n";
        for (int i = 0; i < 8000; ++i)
            text += std::to_string(i / 8000.0) + "," +
                    std::to_string(0.5 * std::sin(6.283185307179586 * c.tone * i / 8000.0)) + "\n";
        toolstest::WriteFile(dir / c.file, text);
    } else {
        ASSERT_EQ(toolstest::Run(SOX_PROGRAM, c.soxArgs, dir).exitCode, 0);
    }
    std::vector<std::string> args = {"render", "stft", c.file, "-o", "out.png", "--csv", "out.csv"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const auto run = RunMornavel(args, dir);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Picture p;
    ASSERT_TRUE(toolstest::ReadPng(dir / "out.png", p));
    EXPECT_EQ(p.width, kPictureWidth);

    const Csv csv = ReadCsv(dir / "out.csv");
    std::vector<double> frequencies, total;
    for (std::size_t k = 1; k < csv.header.size(); ++k)
        frequencies.push_back(std::stod(csv.header[k]));
    total.assign(frequencies.size(), 0.0);
    for (const auto& row : csv.rows)
        for (std::size_t k = 1; k < row.size(); ++k) total.at(k - 1) += std::stod(row[k]);
    ASSERT_GT(csv.rows.size(), 0u);
    ASSERT_GT(frequencies.size(), 1u);
    const auto peak = std::max_element(total.begin(), total.end()) - total.begin();
    EXPECT_LE(std::abs(frequencies[peak] - c.tone), frequencies[1] - frequencies[0]);
}

INSTANTIATE_TEST_SUITE_P(
    Mornavel, ForeignFiles,
    ::testing::Values(
        ForeignFile{"StereoWavSecondChannel",
                    {"-n", "-r", "22050", "-c", "2", "-b", "16", "two.wav", "synth", "1", "sine",
                     "1000", "sine", "3000"},
                    "two.wav",
                    {"--channel", "2"},
                    3000},
        ForeignFile{"Flac",
                    {"-n", "-r", "48000", "a.flac", "synth", "1", "sine", "5000"},
                    "a.flac",
                    {},
                    5000},
        ForeignFile{"Aiff",
                    {"-n", "-r", "16000", "a.aiff", "synth", "1", "sine", "2500"},
                    "a.aiff",
                    {},
                    2500},
        ForeignFile{
            "Ogg", {"-n", "-r", "16000", "a.ogg", "synth", "1", "sine", "1500"}, "a.ogg", {}, 1500},
        ForeignFile{
            "TextColumnsWithHeader", {}, "a.csv", {"--rate", "8000", "--channel", "2"}, 700}),
    [](const auto& test) { return test.param.name; });

// A linear chirp through every power distribution with --if. The mean
// frequency of a spectrogram row (and the Gabor spectrogram's mean
// instantaneous frequency, of any order) equals the frequency of a linear
// chirp; it reads the phase of the Gabor coefficients, so it also guards their
// alignment. The rows of the Wigner-Ville and Cohen-class distributions have
// sidelobes and cross-terms of both signs around the whole circle, so their
// mean is only a finite frequency within the band.
TEST(FrequencyCurves, FollowALinearChirpThroughEveryPowerDistribution) {
    constexpr double kRateHz = 8000, kFrom = 500, kTo = 3500, kSeconds = 2;
    const auto truth = [&](double t) { return kFrom + (kTo - kFrom) * t / kSeconds; };
    TempFolder dir;
    std::string text;
    for (int i = 0; i < kRateHz * kSeconds; ++i) {
        const double t = i / kRateHz;
        text += std::to_string(std::cos(6.283185307179586 *
                                        (kFrom * t + (kTo - kFrom) * t * t / (2 * kSeconds)))) +
                "\n";
    }
    toolstest::WriteFile(dir / "chirp.txt", text);

    constexpr double kInBand = -1;  // no tolerance: a finite frequency in the band
    struct Case {
        std::vector<std::string> options;
        double tolerance;  // Hz, for every curve of the method
    };
    const Case cases[] = {
        {{"stft"}, 0.05},
        {{"reassigned"}, 6},
        {{"gaborsp", "--order", "0"}, 0.05},
        {{"gaborsp", "--order", "3"}, 0.3},
        {{"gaborsp", "--order", "3", "--window", "1024"}, 0.3},
        {{"wvd"}, kInBand},
        {{"wvd", "--analytic"}, kInBand},
        {{"cwd"}, kInBand},
        {{"cone"}, kInBand},
    };
    for (const Case& c : cases) {
        std::string name;
        for (const std::string& o : c.options) name += o + " ";
        std::vector<std::string> args = {"render"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(),
                    {"chirp.txt", "--rate", "8000", "--if", "--csv", "out.csv", "-o", "out.png"});
        const auto run = RunMornavel(args, dir);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const Csv csv = ReadCsv(dir / "out.csv");
        const bool gaborsp = c.options[0] == "gaborsp";
        EXPECT_EQ(csv.Column("MIF_Hz") < csv.header.size(), gaborsp) << name;
        for (const std::string curve : {"IF_Hz", "MIF_Hz"}) {
            const std::size_t column = csv.Column(curve);
            if (column == csv.header.size()) continue;
            double worst = 0;
            int checked = 0;
            for (const auto& row : csv.rows) {
                if (row.at(column).empty()) continue;  // the mean frequency ends a frame early
                const double t = std::stod(row[0]), f = std::stod(row[column]);
                EXPECT_TRUE(f >= 0 && f <= kRateHz / 2) << name << curve << " at " << t << " s";
                if (t < 0.25 || t > kSeconds - 0.25) continue;
                worst = std::max(worst, std::abs(f - truth(t)));
                ++checked;
            }
            std::printf("%-36s %-7s worst %8.3f Hz over %d instants\n", name.c_str(), curve.c_str(),
                        worst, checked);
            EXPECT_GT(checked, 10) << name;
            if (c.tolerance != kInBand) {
                EXPECT_LE(worst, c.tolerance) << name << curve;
            }
        }
    }
}

// Three chirplets, written as text, come back from the adaptive decomposition
// as its strongest atoms, listed on standard output and in the CSV.
TEST(Adaptive, FindsTheChirpletsASignalIsMadeOf) {
    constexpr double kRateHz = 8000;
    struct Chirplet {
        double time, frequency, rate, duration, amplitude;  // s, Hz, Hz/s, s (energy sd)
    };
    const Chirplet made[] = {
        {0.3, 1000, 4000, 0.04, 1.0}, {0.9, 2500, 0, 0.08, 0.7}, {1.5, 3000, -6000, 0.03, 0.8}};
    std::string text;
    double energy = 0;
    for (int i = 0; i < 2 * kRateHz; ++i) {
        const double t = i / kRateHz;
        double v = 0;
        for (const Chirplet& c : made) {
            const double d = t - c.time;
            v += c.amplitude * std::exp(-d * d / (4 * c.duration * c.duration)) *
                 std::cos(6.283185307179586 * (c.frequency * d + c.rate * d * d / 2));
        }
        text += std::to_string(v) + "\n";
        energy += v * v;
    }
    TempFolder dir;
    toolstest::WriteFile(dir / "chirplets.txt", text);
    const auto run = RunMornavel(
        {"render", "adaptive", "chirplets.txt", "--rate", "8000", "--atoms", "6", "--window",
         "2048", "--step", "32", "--bins", "256", "-o", "out.png", "--csv", "atoms.csv"},
        dir);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::printf("%s", run.out.c_str());
    EXPECT_EQ(run.out.rfind("atom  time (s)  frequency (Hz)", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("% of the signal's energy"), std::string::npos);

    const Csv csv = ReadCsv(dir / "atoms.csv");
    ASSERT_EQ(csv.header,
              (std::vector<std::string>{"atom", "time_s", "frequency_Hz", "chirp_rate_Hz_per_s",
                                        "duration_s", "energy_share"}));
    ASSERT_GE(csv.rows.size(), 3u);
    for (const Chirplet& c : made) {
        SCOPED_TRACE(::testing::Message() << c.frequency << " Hz at " << c.time << " s");
        // The atom nearest in time and frequency among the three strongest.
        std::size_t best = 0;
        double nearest = 1e300;
        for (std::size_t r = 0; r < 3; ++r) {
            const double dt = std::stod(csv.rows[r][1]) - c.time;
            const double df = std::stod(csv.rows[r][2]) - c.frequency;
            if (dt * dt * 1e6 + df * df < nearest) nearest = dt * dt * 1e6 + df * df, best = r;
        }
        const auto& row = csv.rows[best];
        EXPECT_NEAR(std::stod(row[1]), c.time, 0.005);
        EXPECT_NEAR(std::stod(row[2]), c.frequency, 20);
        EXPECT_NEAR(std::stod(row[3]), c.rate, 0.1 * std::abs(c.rate) + 200);
        EXPECT_NEAR(std::stod(row[4]), c.duration, 0.2 * c.duration);
        const double share = c.amplitude * c.amplitude * c.duration * std::sqrt(6.283185307179586) *
                             kRateHz / 2 / energy;
        EXPECT_NEAR(std::stod(row[5]), share, 0.05) << "energy share";
    }
}

// Bad input: one line on stderr, the documented exit code, no output left.
struct BadCase {
    const char* name;
    std::function<void(const TempFolder&)> setup;
    std::vector<std::string> args;
    int exitCode;
    const char* says;
};

void Sox(const TempFolder& dir, const std::vector<std::string>& args) {
    ASSERT_EQ(toolstest::Run(SOX_PROGRAM, args, dir).exitCode, 0);
}
void SecondOfSound(const TempFolder& dir) {
    Sox(dir, {"-n", "-r", "8000", "-b", "16", "s.wav", "synth", "1", "sine", "440"});
}
void Cut(const TempFolder& dir, std::size_t bytes) {
    SecondOfSound(dir);
    const std::string whole = toolstest::ReadFile(dir / "s.wav");
    toolstest::WriteFile(dir / "s.wav", whole.substr(0, bytes));
}
void NoSetup(const TempFolder&) {}

class BadInput : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadInput, FailsWithOneLineItsCodeAndNoOutput) {
    const BadCase& c = GetParam();
    TempFolder dir;
    c.setup(dir);
    const auto before = dir.Names();
    const auto run = RunMornavel(c.args, dir);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    EXPECT_EQ(run.err.rfind("mornavel: ", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_EQ(dir.Names(), before) << "an output or temporary file was left";
}

const std::vector<std::string> kFilterSeed = {"filter", "--seed", "1.0,4333", "-o", "out.wav"};
std::vector<std::string> With(std::vector<std::string> a, const std::vector<std::string>& more) {
    a.insert(a.end(), more.begin(), more.end());
    return a;
}

INSTANTIATE_TEST_SUITE_P(
    Mornavel, BadInput,
    ::testing::Values(
        BadCase{"MissingFile",
                NoSetup,
                {"render", "stft", "none.wav", "-o", "out.png"},
                3,
                "no such file"},
        BadCase{"NotSound",
                [](const TempFolder& d) { toolstest::WriteFile(d / "s.wav", "not a sound\n"); },
                {"render", "stft", "s.wav", "-o", "out.png"},
                3,
                "not a readable audio file"},
        BadCase{"TruncatedSamples",
                [](const TempFolder& d) { Cut(d, 5000); },
                {"render", "stft", "s.wav", "-o", "out.png"},
                3,
                "truncated"},
        BadCase{"TruncatedHeader",
                [](const TempFolder& d) { Cut(d, 30); },
                {"filter", "s.wav", "--seed", "0.5,440", "-o", "out.wav"},
                3,
                "not a readable audio file"},
        BadCase{"EmptyFile",
                [](const TempFolder& d) { toolstest::WriteFile(d / "s.wav", ""); },
                {"render", "gabor", "s.wav", "-o", "out.png"},
                3,
                "empty"},
        BadCase{"NoSamples",
                [](const TempFolder& d) {
                    Sox(d, {"-n", "-r", "8000", "s.wav", "trim", "0", "0"});
                },
                {"render", "stft", "s.wav", "-o", "out.png"},
                3,
                "no samples"},
        BadCase{"TextWithANonNumber",
                [](const TempFolder& d) {
                    toolstest::WriteFile(d / "s.csv", "value\n0.1\n0.2\n0.2x\n0.3\n");
                },
                {"render", "stft", "s.csv", "--rate", "8000", "-o", "out.png"},
                3,
                "line 4: '0.2x' is not a number"},
        BadCase{"TextWithoutRate",
                [](const TempFolder& d) { toolstest::WriteFile(d / "s.csv", "0.1\n0.2\n"); },
                {"render", "stft", "s.csv", "-o", "out.png"},
                2,
                "--rate"},
        BadCase{"WindowLongerThanSignal",
                [](const TempFolder& d) {
                    std::string text;
                    for (int i = 0; i < 300; ++i) text += std::to_string(i % 7) + "\n";
                    toolstest::WriteFile(d / "s.txt", text);
                },
                {"render", "stft", "s.txt", "--rate", "8000", "-o", "out.png"},
                4,
                "status -42601: an input is empty, the signal is not longer than the analysis "
                "window"},
        BadCase{"BinsNotAPowerOfTwo",
                NoSetup,
                {"render", "reassigned", "--bins", "500", "-o", "out.png"},
                4,
                "status -42619: invalid window parameters"},
        BadCase{"OneBinLeavesNothingToShow",
                NoSetup,
                {"render", "stft", "--bins", "1", "--window", "2", "-o", "out.png"},
                4,
                "nothing to show"},
        BadCase{"GaborWindowOffTheLattice", NoSetup, With(kFilterSeed, {"--window", "500"}), 4,
                "status -42619"},
        BadCase{"SeedAfterTheEnd",
                NoSetup,
                {"filter", "--seed", "4.0,1000", "-o", "out.wav"},
                2,
                "outside the image"},
        BadCase{"SeedAboveTheHighestFrequency",
                NoSetup,
                {"filter", "--seed", "1.0,30000", "-o", "out.wav"},
                2,
                "outside the image"},
        BadCase{"SeedWithoutFrequency",
                NoSetup,
                {"filter", "--seed", "1.0", "-o", "out.wav"},
                2,
                "--seed wants TIME,FREQUENCY"},
        BadCase{"UnknownMethod",
                NoSetup,
                {"render", "wavelet", "-o", "out.png"},
                2,
                "unknown method 'wavelet'"},
        BadCase{"FrequencyOfCoefficients",
                NoSetup,
                {"render", "gabor", "--if", "-o", "out.png"},
                2,
                "--if needs a power distribution"},
        BadCase{"UnknownOption",
                NoSetup,
                {"render", "stft", "-o", "out.png", "--colour"},
                2,
                "--colour"},
        BadCase{"ChannelNotInFile",
                SecondOfSound,
                {"render", "stft", "s.wav", "--channel", "2", "-o", "out.png"},
                2,
                "--channel 2 does not exist"},
        BadCase{"OutputFolderMissing",
                NoSetup,
                {"render", "stft", "-o", "no/out.png"},
                5,
                "cannot write no/out.png"},
        BadCase{"OutputIsAFolder",
                [](const TempFolder& d) { std::filesystem::create_directory(d / "out.png"); },
                {"render", "stft", "-o", "out.png"},
                5,
                "it is a folder"},
        BadCase{"CsvNotWritableLeavesNoPicture",
                NoSetup,
                {"render", "stft", "-o", "out.png", "--csv", "no/out.csv"},
                5,
                "cannot write no/out.csv"},
        BadCase{"MaskNotWritableLeavesNoSound", NoSetup, With(kFilterSeed, {"--mask", "no/m.png"}),
                5, "cannot write no/m.png"},
        BadCase{"RecordRateTheDevicesDoNotTake",
                NoSetup,
                {"record", "--rate", "48000", "-o", "r.wav"},
                2,
                "not 48000"},
        BadCase{"RecordFromAMissingDevice",
                NoSetup,
                {"record", "--device", "99", "-o", "r.wav"},
                6,
                "no such device"},
        BadCase{"RecordRenderUnknownMethod",
                NoSetup,
                {"record", "--render", "fourier", "-o", "r.png"},
                2,
                "unknown method"},
        BadCase{"PlayAMissingFile", NoSetup, {"play", "none.wav"}, 3, "cannot read none.wav"},
        BadCase{
            "PlayARateTheDevicesDoNotTake",
            [](const TempFolder&
                   d) { Sox(d, {"-n", "-r", "48000", "s.wav", "synth", "0.1", "sine", "440"}); },
            {"play", "s.wav"},
            3,
            "not 48000"},
        BadCase{"DemoFolderNotMade",
                [](const TempFolder& d) { toolstest::WriteFile(d / "site", "a file"); },
                {"demo", "--out", "site/inner"},
                5,
                "cannot make folder site/inner"}),
    [](const auto& test) { return test.param.name; });

// The strongest frequency of a sound, from its discrete Fourier transform at
// every bin (evaluated directly).
double PeakFrequency(const toolstest::Sound& sound) {
    const size_t n = sound.samples.size();
    size_t best = 0;
    double bestPower = -1;
    for (size_t k = 1; k < n / 2; ++k) {
        std::complex<double> sum = 0;
        for (size_t t = 0; t < n; ++t)
            sum += sound.samples[t] * std::polar(1.0, -2 * M_PI * double(k * t % n) / double(n));
        if (std::norm(sum) > bestPower) bestPower = std::norm(sum), best = k;
    }
    return best * sound.rate / n;
}

TEST(Sound, RecordsTheToneSourceWithItsPeakAtTheTonesFrequency) {
    TempFolder dir;
    const auto devices = RunMornavel({"devices"}, dir);
    ASSERT_EQ(devices.exitCode, 0);
    EXPECT_NE(devices.out.find("Tone source"), std::string::npos) << devices.out;
    for (const std::vector<std::string>& format :
         {std::vector<std::string>{"--rate", "8000"},
          std::vector<std::string>{"--rate", "22050", "--channels", "2", "--bits", "8"}}) {
        const auto run = RunMornavel(
            With({"record", "--device", "1", "--seconds", "0.25", "-o", "tone.wav"}, format), dir);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        toolstest::Sound sound;
        ASSERT_TRUE(toolstest::ReadSound(dir / "tone.wav", sound));
        EXPECT_EQ(sound.samples.size(), static_cast<size_t>(std::lround(sound.rate / 4)));
        EXPECT_NEAR(PeakFrequency(sound), 1000, sound.rate / sound.samples.size());
    }
    const auto render = RunMornavel(
        {"record", "--seconds", "0.25", "--render", "stft", "-o", "tone.png", "-q"}, dir);
    ASSERT_EQ(render.exitCode, 0) << render.err;
    Picture picture;
    EXPECT_TRUE(toolstest::ReadPng(dir / "tone.png", picture));
}

TEST(Sound, PlayReturnsWhenTheFileHasPlayed) {
    TempFolder dir;
    Sox(dir, {"-n", "-r", "8000", "-b", "16", "s.wav", "synth", "0.6", "sine", "440"});
    const auto start = std::chrono::steady_clock::now();
    const auto run = RunMornavel({"play", "s.wav", "--device", "1"}, dir);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_GE(seconds, 0.59);  // the silent sink plays at the file's rate
    EXPECT_LT(seconds, 5.0);
}

TEST(Help, EveryCommandListsTheExitCodes) {
    TempFolder dir;
    for (const char* command : {"demo", "render", "filter", "record", "play"}) {
        const auto run = RunMornavel({command, "--help"}, dir);
        EXPECT_EQ(run.exitCode, 0) << command;
        EXPECT_NE(run.out.find("Exit codes: 0 success, 2 usage error, 3 unreadable or unsupported "
                               "input,\n4 the analysis refused the parameters, 5 output not "
                               "writable,\n6 sound device missing or busy, or the recording "
                               "overran."),
                  std::string::npos)
            << command << run.out;
    }
    EXPECT_EQ(RunMornavel({}, dir).exitCode, 2);
}

}  // namespace
