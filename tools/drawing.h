#pragma once
// Pictures of a graph: the intensity image scaled into a plot with a time axis
// in seconds, a frequency axis in hertz, tick labels, a title and a colour
// bar, written as PNG with cairo.

#include <cstdint>
#include <string>
#include <vector>

#include "analysis.h"

namespace front {

class OutputFile;

enum class ColourMap { kPerceptual, kGrey };

// "viridis" (perceptual, the default) or "grey"; false for other names.
bool ParseColourMap(const std::string& name, ColourMap& map);

struct Figure {
    std::string title;
    std::string subtitle;
    const Graph* graph = nullptr;
    // Cells of a selected region (1 inside), drawn in colour over a grey rest; may be null.
    const std::vector<uint8_t>* region = nullptr;
    // Lines drawn over the cells, with a legend; may be null.
    const std::vector<Curve>* curves = nullptr;
    ColourMap map = ColourMap::kPerceptual;
    int width = 1280;
    int height = 720;
};

// Where the cells lie in a picture of width x height pixels: cell row r
// (time) spans the columns left + [r, r + 1) * width / rows of pixels, cell
// column c (frequency) the rows up from top + height.
struct PlotArea {
    int left, top, width, height;
};
PlotArea PlotAreaOf(int width, int height);

// Draws the figure and writes it as PNG into `file` (not committed).
void DrawPng(const Figure& figure, OutputFile& file);
// The same PNG in memory.
std::string DrawPng(const Figure& figure);

// Releases the font caches cairo and fontconfig keep for the life of the
// process, so that a leak checker sees only real leaks. Called once at exit.
void ReleaseFonts();

}  // namespace front
