#include "drawing.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "failure.h"
#include "output_file.h"

namespace front {

namespace {

struct Rgb {
    double r, g, b;
};

// The viridis map at nine evenly spaced points; between them linear.
constexpr std::array<Rgb, 9> kViridis = {{{0.267004, 0.004874, 0.329415},
                                          {0.282623, 0.140926, 0.457517},
                                          {0.229739, 0.322361, 0.545706},
                                          {0.172719, 0.448791, 0.557885},
                                          {0.127568, 0.566949, 0.550556},
                                          {0.157851, 0.683765, 0.501686},
                                          {0.369214, 0.788888, 0.382914},
                                          {0.678489, 0.863742, 0.189503},
                                          {0.993248, 0.906157, 0.143936}}};

Rgb Colour(ColourMap map, uint8_t level) {
    const double u = level / 255.0;
    if (map == ColourMap::kGrey) return {u, u, u};
    const double x = u * (kViridis.size() - 1);
    const auto i = std::min(static_cast<std::size_t>(x), kViridis.size() - 2);
    const double f = x - static_cast<double>(i);
    const Rgb a = kViridis[i], b = kViridis[i + 1];
    return {a.r + f * (b.r - a.r), a.g + f * (b.g - a.g), a.b + f * (b.b - a.b)};
}

uint32_t Pixel(Rgb c) {
    const auto byte = [](double v) {
        return static_cast<uint32_t>(std::clamp(std::lround(v * 255.0), 0L, 255L));
    };
    return 0xFF000000u | byte(c.r) << 16 | byte(c.g) << 8 | byte(c.b);
}

// Outside a selected region the picture is grey and dim.
Rgb Dim(Rgb c) {
    const double grey = 0.15 + 0.35 * (0.3 * c.r + 0.59 * c.g + 0.11 * c.b);
    return {grey, grey, grey};
}

struct Ticks {
    double first, step;
    int decimals;
};

// Round steps of 1, 2 or 5 times a power of ten, about `target` of them.
Ticks NiceTicks(double lo, double hi, int target) {
    const double raw = (hi - lo) / target;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double residual = raw / magnitude;
    const double step = magnitude * (residual < 1.5   ? 1
                                     : residual < 3.5 ? 2
                                     : residual < 7.5 ? 5
                                                      : 10);
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    return {std::ceil(lo / step - 1e-9) * step, step, decimals};
}

std::string Format(double v, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, std::abs(v) < 1e-12 ? 0.0 : v);
    return text;
}

class Painter {
  public:
    Painter(cairo_t* cr) : cr_(cr) {
        cairo_select_font_face(cr_, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                               CAIRO_FONT_WEIGHT_NORMAL);
    }
    // Text anchored at (x, y): ax 0 left, 0.5 centre, 1 right; ay likewise top to bottom.
    // Text wider than `maxWidth` (when given) is set smaller until it fits.
    void Text(const std::string& s, double x, double y, double size, double ax, double ay,
              bool bold = false, double angle = 0.0, double maxWidth = 0.0) {
        cairo_save(cr_);
        cairo_select_font_face(cr_, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                               bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr_, size);
        cairo_text_extents_t e;
        cairo_text_extents(cr_, s.c_str(), &e);
        if (maxWidth > 0 && e.width > maxWidth) {
            cairo_set_font_size(cr_, size * maxWidth / e.width);
            cairo_text_extents(cr_, s.c_str(), &e);
        }
        cairo_translate(cr_, x, y);
        cairo_rotate(cr_, angle);
        cairo_move_to(cr_, -e.x_bearing - ax * e.width, -e.y_bearing - ay * e.height);
        cairo_set_source_rgb(cr_, 0.1, 0.1, 0.1);
        cairo_show_text(cr_, s.c_str());
        cairo_restore(cr_);
    }
    void Line(double x0, double y0, double x1, double y1) {
        cairo_move_to(cr_, x0, y0);
        cairo_line_to(cr_, x1, y1);
        cairo_stroke(cr_);
    }

  private:
    cairo_t* cr_;
};

// The image resampled into w x h pixels: time to the right, frequency upward.
// Each pixel shows the brightest cell it covers, so that thin ridges stay
// visible when the picture is smaller than the matrix.
void PaintCells(const Figure& f, unsigned char* data, int stride, int w, int h) {
    const Graph& g = *f.graph;
    for (int py = 0; py < h; ++py) {
        const int top = h - 1 - py;  // pixel row counted from the bottom
        const long c0 = static_cast<long>(top) * g.columns / h;
        const long c1 = std::max(c0 + 1, static_cast<long>(top + 1) * g.columns / h);
        auto* row = reinterpret_cast<uint32_t*>(data + py * stride);
        for (int px = 0; px < w; ++px) {
            const long r0 = static_cast<long>(px) * g.rows / w;
            const long r1 = std::max(r0 + 1, static_cast<long>(px + 1) * g.rows / w);
            uint8_t level = 0;
            bool inside = f.region == nullptr;
            for (long r = r0; r < r1; ++r)
                for (long c = c0; c < c1; ++c) {
                    const std::size_t i = r * g.columns + c;
                    level = std::max(level, g.image[i]);
                    if (f.region && (*f.region)[i]) inside = true;
                }
            const Rgb colour = Colour(f.map, level);
            row[px] = Pixel(inside ? colour : Dim(colour));
        }
    }
}

cairo_status_t AppendChunk(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

struct CurveLook {
    Rgb colour;
    double width;
    bool dashed;
};
CurveLook LookOf(CurveKind kind) {
    switch (kind) {
        case CurveKind::kInstantaneous:
            return {{0.95, 0.15, 0.15}, 2.5, false};
        case CurveKind::kMeanOfGaborSpectrogram:
            return {{1.0, 0.55, 0.0}, 2.0, true};
        case CurveKind::kTrue:
            break;
    }
    return {{1.0, 1.0, 1.0}, 6.0, false};
}

// The curves in the plot's frame (clipped to it), with a legend in its top
// left corner. A curve is broken where a value is not finite.
void PaintCurves(cairo_t* cr, Painter& paint, const std::vector<Curve>& curves, double left,
                 double top, double pw, double ph, double t0, double t1, double f0, double f1) {
    cairo_save(cr);
    cairo_rectangle(cr, left, top, pw, ph);
    cairo_clip(cr);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    for (const Curve& c : curves) {
        const CurveLook look = LookOf(c.kind);
        bool drawing = false;
        for (std::size_t i = 0; i < c.times.size(); ++i) {
            const double x = left + (c.times[i] - t0) / (t1 - t0) * pw;
            const double y = top + ph - (c.frequencies[i] - f0) / (f1 - f0) * ph;
            if (!std::isfinite(x) || !std::isfinite(y)) {
                drawing = false;
                continue;
            }
            if (drawing)
                cairo_line_to(cr, x, y);
            else
                cairo_move_to(cr, x, y);
            drawing = true;
        }
        const double dash[] = {6.0, 4.0};
        cairo_set_dash(cr, dash, look.dashed ? 2 : 0, 0.0);
        cairo_set_line_width(cr, look.width);
        cairo_set_source_rgb(cr, look.colour.r, look.colour.g, look.colour.b);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
    if (curves.empty()) return;

    const double rowHeight = 18, boxWidth = 330;
    const double x = left + 10, y = top + 10;
    cairo_set_source_rgba(cr, 1, 1, 1, 0.85);
    cairo_rectangle(cr, x, y, boxWidth, rowHeight * curves.size() + 8);
    cairo_fill(cr);
    for (std::size_t i = 0; i < curves.size(); ++i) {
        const CurveLook look = LookOf(curves[i].kind);
        const double cy = y + 4 + rowHeight * (i + 0.5);
        cairo_save(cr);
        const double dash[] = {6.0, 4.0};
        cairo_set_dash(cr, dash, look.dashed ? 2 : 0, 0.0);
        cairo_set_line_width(cr, look.width + 1);
        // White would vanish on the legend's white box.
        if (look.colour.r + look.colour.g + look.colour.b > 2.9)
            cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
        else
            cairo_set_source_rgb(cr, look.colour.r, look.colour.g, look.colour.b);
        paint.Line(x + 8, cy, x + 38, cy);
        cairo_restore(cr);
        paint.Text(curves[i].label, x + 46, cy, 12, 0, 0.5, false, 0.0, boxWidth - 52);
    }
}

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using Context = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

}  // namespace

bool ParseColourMap(const std::string& name, ColourMap& map) {
    if (name == "viridis" || name == "perceptual") {
        map = ColourMap::kPerceptual;
        return true;
    }
    if (name == "grey" || name == "gray") {
        map = ColourMap::kGrey;
        return true;
    }
    return false;
}

PlotArea PlotAreaOf(int width, int height) {
    const int left = 86, right = 150, top = 64, bottom = 62;
    return {left, top, width - left - right, height - top - bottom};
}

std::string DrawPng(const Figure& f) {
    const Graph& g = *f.graph;
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, f.width, f.height),
                    cairo_surface_destroy);
    Context context(cairo_create(surface.get()), cairo_destroy);
    cairo_t* cr = context.get();
    Painter paint(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);

    // Plot and colour bar, in pixels.
    const auto [left, top, pw, ph] = PlotAreaOf(f.width, f.height);
    const int barX = left + pw + 24, barW = 18;

    Surface cells(cairo_image_surface_create(CAIRO_FORMAT_RGB24, pw, ph), cairo_surface_destroy);
    cairo_surface_flush(cells.get());
    PaintCells(f, cairo_image_surface_get_data(cells.get()),
               cairo_image_surface_get_stride(cells.get()), pw, ph);
    cairo_surface_mark_dirty(cells.get());
    cairo_set_source_surface(cr, cells.get(), left, top);
    cairo_paint(cr);

    // Cell r spans time offset + (r - 1/2 .. r + 1/2) steps; columns likewise.
    const double t0 = g.timeOffset - g.timeStep / 2, t1 = t0 + g.rows * g.timeStep;
    const double f0 = g.freqOffset - g.freqStep / 2, f1 = f0 + g.columns * g.freqStep;
    if (f.curves) PaintCurves(cr, paint, *f.curves, left, top, pw, ph, t0, t1, f0, f1);

    paint.Text(f.title, left, 16, 19, 0, 0, true, 0.0, f.width - left - 12);
    paint.Text(f.subtitle, left, 42, 13, 0, 0, false, 0.0, f.width - left - 12);

    cairo_set_line_width(cr, 1.0);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_rectangle(cr, left - 0.5, top - 0.5, pw + 1, ph + 1);
    cairo_stroke(cr);

    const Ticks tt = NiceTicks(t0, t1, 10);
    for (double t = tt.first; t <= t1 + 1e-9 * tt.step; t += tt.step) {
        const double x = left + (t - t0) / (t1 - t0) * pw;
        if (x < left - 0.5 || x > left + pw + 0.5) continue;
        paint.Line(std::round(x) + 0.5, top + ph + 0.5, std::round(x) + 0.5, top + ph + 6);
        paint.Text(Format(t, tt.decimals), x, top + ph + 9, 12, 0.5, 0);
    }
    paint.Text("time (s)", left + pw / 2.0, f.height - 8, 13, 0.5, 1);
    const Ticks ft = NiceTicks(f0, f1, 8);
    for (double v = ft.first; v <= f1 + 1e-9 * ft.step; v += ft.step) {
        const double y = top + ph - (v - f0) / (f1 - f0) * ph;
        if (y < top - 0.5 || y > top + ph + 0.5) continue;
        paint.Line(left - 6, std::round(y) + 0.5, left - 0.5, std::round(y) + 0.5);
        paint.Text(Format(v, ft.decimals), left - 9, y, 12, 1, 0.5);
    }
    paint.Text("frequency (Hz)", 16, top + ph / 2.0, 13, 0.5, 0, false, -M_PI / 2);

    // Colour bar: byte b stands for the level offset + b steps.
    for (int b = 0; b < 256; ++b) {
        const Rgb c = Colour(f.map, static_cast<uint8_t>(b));
        cairo_set_source_rgb(cr, c.r, c.g, c.b);
        const double y0 = top + ph - (b + 1) * ph / 256.0;
        cairo_rectangle(cr, barX, y0, barW, ph / 256.0 + 0.6);
        cairo_fill(cr);
    }
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_rectangle(cr, barX - 0.5, top - 0.5, barW + 1, ph + 1);
    cairo_stroke(cr);
    const double l0 = g.levelOffset - g.levelStep / 2, l1 = l0 + 256 * g.levelStep;
    if (l1 > l0) {
        const Ticks lt = NiceTicks(l0, l1, 8);
        for (double v = lt.first; v <= l1 + 1e-9 * lt.step; v += lt.step) {
            const double y = top + ph - (v - l0) / (l1 - l0) * ph;
            paint.Line(barX + barW, std::round(y) + 0.5, barX + barW + 5, std::round(y) + 0.5);
            paint.Text(Format(v, g.decibel ? std::max(lt.decimals, 0) : lt.decimals + 1),
                       barX + barW + 8, y, 12, 0, 0.5);
        }
    }
    paint.Text(g.decibel ? "power (dB)" : "power", f.width - 14, top + ph / 2.0, 13, 0.5, 0, false,
               M_PI / 2);

    cairo_surface_flush(surface.get());
    std::string png;
    if (cairo_surface_write_to_png_stream(surface.get(), AppendChunk, &png) != CAIRO_STATUS_SUCCESS)
        throw std::bad_alloc();
    return png;
}

void DrawPng(const Figure& f, OutputFile& file) { file.Write(DrawPng(f)); }

void ReleaseFonts() {
    cairo_debug_reset_static_data();
    FcFini();
}

}  // namespace front
