// Samples beyond both ends of a finite signal: zeros, mirror image, periodic
// repetition, faded mirror image, linear and quadratic extrapolation.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "mornavel.h"
#include "status.h"

namespace {

constexpr double kPi = 3.141592653589793;

enum ExtensionType : int32_t {
    kZeros = 0,
    kMirror = 1,
    kPeriodic = 2,
    kFadedMirror = 3,
    kLine = 5,
    kParabola = 6,
};

using Index = std::ptrdiff_t;

// A run of samples in an array of doubles; `width` doubles per sample (1 real,
// 2 interleaved complex), or one part of interleaved pairs when `width` is the
// stride between the values of that part.
struct Run {
    double* data;
    Index width;
    double& operator[](Index i) const { return data[i * width]; }
};

struct Samples {
    const double* data;
    Index width;
    double operator[](Index i) const { return data[i * width]; }
};

// Copies `count` whole samples.
void CopySamples(const double* from, double* to, Index count, Index width) {
    std::copy(from, from + count * width, to);
}

void Zero(double* to, Index count, Index width) { std::fill(to, to + count * width, 0.0); }

// Whole samples: the edge sample is repeated, reading outwards from each end.
void Mirror(const double* x, Index n, Index extLen, double* before, double* after, Index width) {
    const Index mn = std::max<Index>(0, std::min(n, extLen));
    for (Index k = 0; k < mn; ++k) {
        CopySamples(x + k * width, before + (extLen - 1 - k) * width, 1, width);
        CopySamples(x + (n - 1 - k) * width, after + k * width, 1, width);
    }
    Zero(before, extLen - mn, width);
    Zero(after + mn * width, extLen - mn, width);
}

// Whole samples: `after` starts again at x[0], `before` ends with x[n-1]; the
// signal repeats as often as the extension needs.
void Periodic(const double* x, Index n, Index extLen, double* before, double* after, Index width) {
    for (Index done = 0; done < extLen;) {
        const Index chunk = std::min(n, extLen - done);
        CopySamples(x, after + done * width, chunk, width);
        CopySamples(x + (n - chunk) * width, before + (extLen - done - chunk) * width, chunk,
                    width);
        done += chunk;
    }
}

// The mirror image weighted by sin^2(q*pi/m), m = 2*extLen + 1, q running from
// extLen - 1 next to the signal to 2*extLen - 2 at the far end; samples beyond
// the signal count as zero.
void FadedMirror(Samples x, Index n, Index extLen, Run before, Run after) {
    const double m = 2.0 * static_cast<double>(extLen) + 1.0;
    for (Index k = 0; k < extLen; ++k) {
        const double q = static_cast<double>(extLen - 1 + k);
        const double s = std::sin(q * kPi / m);
        const double taper = s * s;
        before[extLen - 1 - k] = k < n ? taper * x[k] : 0.0;
        after[k] = k < n ? taper * x[n - 1 - k] : 0.0;
    }
}

struct Line {
    double slope, intercept;
};

// Least-squares line through (xa, ya) and (xb, yb), from the sums of the
// normal equations.
Line FitLine(double xa, double ya, double xb, double yb) {
    const double count = 2.0;
    const double sx = xa + xb, sy = ya + yb;
    const double sxx = xa * xa + xb * xb, sxy = xa * ya + xb * yb;
    const double denominator = count * sxx - sx * sx;
    return {(count * sxy - sx * sy) / denominator, (sxx * sy - sx * sxy) / denominator};
}

void LineAt(const Line& line, Index extLen, Run out) {
    for (Index t = 0; t < extLen; ++t)
        out[t] = line.slope * static_cast<double>(t) + line.intercept;
}

// Before: the line through (extLen, x[0]) and (extLen + 1, x[1]) at 0 ... extLen - 1;
// after: the line through (-2, x[n-2]) and (-1, x[n-1]) at 0 ... extLen - 1.
void Linear(Samples x, Index n, Index extLen, Run before, Run after) {
    const double e = static_cast<double>(extLen);
    LineAt(FitLine(e, x[0], e + 1.0, x[1]), extLen, before);
    LineAt(FitLine(-2.0, x[n - 2], -1.0, x[n - 1]), extLen, after);
}

struct Parabola {
    double c0, c1, c2;
};

// The least-squares parabola through (a, y0), (a + 1, y1), (a + 2, y2) is the
// one interpolating them. Its coefficients come from the differences, which is
// exact for these integer abscissae; normal equations in powers of a would lose
// every digit once the extension is a few hundred samples long.
Parabola FitParabola(double a, double y0, double y1, double y2) {
    const double d1 = y1 - y0;
    const double c2 = ((y2 - y1) - d1) * 0.5;
    return {y0 - d1 * a + c2 * (a * (a + 1.0)), d1 - c2 * (2.0 * a + 1.0), c2};
}

void ParabolaAt(const Parabola& p, Index extLen, Run out) {
    for (Index i = 0; i < extLen; ++i) {
        const double t = static_cast<double>(i);
        out[i] = p.c0 + p.c1 * t + p.c2 * (t * t);
    }
}

// Before: the parabola through (extLen + j, x[j]), j = 0, 1, 2; after: the one
// through (-3, x[n-3]), (-2, x[n-2]), (-1, x[n-1]); both at 0 ... extLen - 1.
void Quadratic(Samples x, Index n, Index extLen, Run before, Run after) {
    const double e = static_cast<double>(extLen);
    ParabolaAt(FitParabola(e, x[0], x[1], x[2]), extLen, before);
    ParabolaAt(FitParabola(-3.0, x[n - 3], x[n - 2], x[n - 1]), extLen, after);
}

// `width` doubles per sample: the rules that move samples move whole complex
// samples, the others treat each part as a real signal of its own.
int32_t Extend(const double* x, int32_t n, int32_t type, int32_t extLen, double* before,
               double* after, Index width) {
    if (type < kZeros || type > kParabola || type == 4) return status::kBadExtensionType;
    // The periodic rule needs a sample to repeat; the fits need their points.
    if ((type == kLine && n < 2) || (type == kParabola && n < 3) ||
        (type == kPeriodic && n < 1 && extLen >= 1))
        return status::kShortSignal;
    if (extLen <= 0) return status::kOk;

    switch (type) {
        case kZeros:
            Zero(before, extLen, width);
            Zero(after, extLen, width);
            return status::kOk;
        case kMirror:
            Mirror(x, n, extLen, before, after, width);
            return status::kOk;
        case kPeriodic:
            Periodic(x, n, extLen, before, after, width);
            return status::kOk;
        default:
            break;
    }
    for (Index part = 0; part < width; ++part) {
        const Samples signal{x + part, width};
        const Run head{before + part, width}, tail{after + part, width};
        if (type == kFadedMirror)
            FadedMirror(signal, n, extLen, head, tail);
        else if (type == kLine)
            Linear(signal, n, extLen, head, tail);
        else
            Quadratic(signal, n, extLen, head, tail);
    }
    return status::kOk;
}

}  // namespace

extern "C" {

int32_t ReExtension(const double* x, int32_t n, int32_t type, int32_t extLen, double* before,
                    double* after) {
    return Extend(x, n, type, extLen, before, after, 1);
}

int32_t CxExtension(const double* x, int32_t n, int32_t type, int32_t extLen, double* before,
                    double* after) {
    return Extend(x, n, type, extLen, before, after, 2);
}

}  // extern "C"
