#pragma once
// What a picture says about itself: its title, the subtitle that names the
// recording and the parameters, and the figure that puts them around a graph.
// Shared by the commands and the server.

#include <functional>
#include <string>
#include <vector>

#include "analysis.h"
#include "drawing.h"
#include "signal_io.h"

namespace front {

struct Look {
    ColourMap map;
    int width, height;
};

Figure MakeFigure(const Look& look, const Graph& graph, std::string title, std::string subtitle,
                  const std::vector<Curve>* curves = nullptr);

// v with `decimals` digits after the point.
std::string Fixed(double v, int decimals);
// The method's parameters in samples and in the signal's units.
std::string Parameters(const Method& m, const AnalysisParams& p, double rate);
// "Gabor spectrogram of order 2" for the Gabor spectrogram, else the title.
std::string Title(const Method& m, const AnalysisParams& p);
// The recording, its rate and length, and the parameters.
std::string Subtitle(const Signal& s, const Method& m, const AnalysisParams& p,
                     const DisplayOptions& d);

// The matrix with its axes as CSV, in pieces of about a megabyte handed to
// `write`; the frequency curves (one value a row, at the row's instant)
// follow as last columns, named after their kind. Needs the graph's values.
void WriteCsv(const Graph& g, const std::vector<Curve>& curves,
              const std::function<void(const std::string&)>& write);

}  // namespace front
