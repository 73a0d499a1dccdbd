#include "figure.h"

#include <cstdio>

namespace front {

Figure MakeFigure(const Look& look, const Graph& graph, std::string title, std::string subtitle,
                  const std::vector<Curve>* curves) {
    Figure figure;
    figure.curves = curves;
    figure.title = std::move(title);
    figure.subtitle = std::move(subtitle);
    figure.graph = &graph;
    figure.map = look.map;
    figure.width = look.width;
    figure.height = look.height;
    return figure;
}

std::string Fixed(double v, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

std::string Parameters(const Method& m, const AnalysisParams& p, double rate) {
    if (m.kind == MethodKind::kDistribution) {
        std::string text = std::to_string(p.bins) + " bins (" + Fixed(rate / p.bins, 1) +
                           " Hz), step " + std::to_string(p.step) + " (" +
                           Fixed(1000.0 * p.step / rate, 2) + " ms), " +
                           (p.analytic ? "analytic signal" : "interpolated signal");
        if (std::string(m.name) == "cwd") text += ", sigma " + Fixed(p.sigma, 3);
        if (std::string(m.name) == "cone") text += ", alpha " + Fixed(p.alpha, 6);
        return text;
    }
    if (m.kind == MethodKind::kAdaptive)
        return std::to_string(p.atoms) + " atoms at most, longest " + std::to_string(p.window) +
               " (" + Fixed(1000.0 * p.window / rate, 1) + " ms); shown at step " +
               std::to_string(p.step) + " (" + Fixed(1000.0 * p.step / rate, 2) + " ms), " +
               std::to_string(p.bins) + " bins or finer (" + Fixed(rate / p.bins, 1) +
               " Hz or less)";
    return "Gaussian window " + std::to_string(p.window) + " (" +
           Fixed(1000.0 * p.window / rate, 1) + " ms), step " + std::to_string(p.step) + " (" +
           Fixed(1000.0 * p.step / rate, 2) + " ms), " + std::to_string(p.bins) + " bins (" +
           Fixed(rate / p.bins, 1) + " Hz)" +
           (m.kind == MethodKind::kGaborSpectrogram ? ", order " + std::to_string(p.order) : "");
}

std::string Title(const Method& m, const AnalysisParams& p) {
    std::string title = m.title;
    if (m.kind == MethodKind::kGaborSpectrogram) title += " of order " + std::to_string(p.order);
    return title;
}

std::string Subtitle(const Signal& s, const Method& m, const AnalysisParams& p,
                     const DisplayOptions& d) {
    std::string text = s.name + ", " + Fixed(s.rate, 0) + " Hz, " +
                       Fixed(s.samples.size() / s.rate, 2) + " s; " + Parameters(m, p, s.rate);
    if (d.range > 0) text += "; " + Fixed(d.range, 0) + " dB shown";
    return text;
}

void WriteCsv(const Graph& g, const std::vector<Curve>& curves,
              const std::function<void(const std::string&)>& write) {
    std::string text = g.decibel ? "time_s\\frequency_Hz (dB)" : "time_s\\frequency_Hz (power)";
    char number[40];
    for (int32_t c = 0; c < g.columns; ++c) {
        std::snprintf(number, sizeof number, ",%.6g", g.freqOffset + c * g.freqStep);
        text += number;
    }
    for (const Curve& c : curves)
        text += c.kind == CurveKind::kInstantaneous ? ",IF_Hz" : ",MIF_Hz";
    text += '\n';
    for (int32_t r = 0; r < g.rows; ++r) {
        std::snprintf(number, sizeof number, "%.6f", g.timeOffset + r * g.timeStep);
        text += number;
        for (int32_t c = 0; c < g.columns; ++c) {
            std::snprintf(number, sizeof number, ",%.9g", g.values[r * g.columns + c]);
            text += number;
        }
        for (const Curve& c : curves) {
            number[0] = ',';
            number[1] = '\0';
            if (static_cast<std::size_t>(r) < c.frequencies.size())
                std::snprintf(number, sizeof number, ",%.9g", c.frequencies[r]);
            text += number;
        }
        text += '\n';
        if (text.size() > (1 << 20)) {
            write(text);
            text.clear();
        }
    }
    write(text);
}

}  // namespace front
