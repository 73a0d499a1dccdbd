#include "oracle.h"

#include <cmath>
#include <random>

namespace oracle {
namespace {

constexpr long double kTwoPi = 6.283185307179586476925286766559005768L;

// cos and sin of 2 pi t/n, t = 0 ... n-1, each as the sum of two doubles that
// holds the long double value exactly (doubles load faster than long doubles).
struct Roots {
    std::vector<double> cHi, cLo, sHi, sLo;
    explicit Roots(int64_t n) : cHi(n), cLo(n), sHi(n), sLo(n) {
        for (int64_t t = 0; t < n; ++t) {
            const long double angle = kTwoPi * t / n;
            const long double c = std::cos(angle), s = std::sin(angle);
            cHi[t] = static_cast<double>(c);
            cLo[t] = static_cast<double>(c - cHi[t]);
            sHi[t] = static_cast<double>(s);
            sLo[t] = static_cast<double>(s - sHi[t]);
        }
    }
};

}  // namespace

// With x_j and x_(n-j) paired: P_k = x_0 + sum_j (x_j + x_(n-j)) cos(2 pi jk/n)
// [+ (-1)^k x_(n/2)], Q_k = sum_j (x_j - x_(n-j)) sin(2 pi jk/n), and
// X[k] = P_k - i Q_k, X[n-k] = P_k + i Q_k: a quarter of the plain sum's work.
Spectrum DirectDft(const std::vector<double>& re, const std::vector<double>& im) {
    const int64_t n = static_cast<int64_t>(re.size());
    Spectrum out{std::vector<long double>(n), std::vector<long double>(n)};
    if (n == 0) return out;
    const Roots roots(n);
    const int64_t pairs = (n - 1) / 2;
    for (int64_t k = 0; k <= n / 2; ++k) {
        long double pr = re[0], pi = im[0], qr = 0, qi = 0;
        if (n % 2 == 0) {
            const long double sign = k % 2 ? -1.0L : 1.0L;
            pr += sign * re[n / 2];
            pi += sign * im[n / 2];
        }
        // Two accumulators per loop keep the x87 stack free of spills.
        int64_t t = 0;
        for (int64_t j = 1; j <= pairs; ++j) {
            t += k;
            t -= t >= n ? n : 0;
            const long double c = static_cast<long double>(roots.cHi[t]) + roots.cLo[t];
            pr += (static_cast<long double>(re[j]) + re[n - j]) * c;
            pi += (static_cast<long double>(im[j]) + im[n - j]) * c;
        }
        t = 0;
        for (int64_t j = 1; j <= pairs; ++j) {
            t += k;
            t -= t >= n ? n : 0;
            const long double s = static_cast<long double>(roots.sHi[t]) + roots.sLo[t];
            qr += (static_cast<long double>(re[j]) - re[n - j]) * s;
            qi += (static_cast<long double>(im[j]) - im[n - j]) * s;
        }
        out.re[k] = pr + qi;
        out.im[k] = pi - qr;
        out.re[(n - k) % n] = pr - qi;
        out.im[(n - k) % n] = pi + qr;
    }
    return out;
}

Spectrum RealPart(const Spectrum& x) {
    const int64_t n = static_cast<int64_t>(x.re.size());
    Spectrum out{std::vector<long double>(n), std::vector<long double>(n)};
    for (int64_t k = 0; k < n; ++k) {
        const int64_t m = (n - k) % n;
        out.re[k] = (x.re[k] + x.re[m]) / 2;
        out.im[k] = (x.im[k] - x.im[m]) / 2;
    }
    return out;
}

namespace {

template <class Get>
Error Measure(int64_t n, const Spectrum& want, Get&& get) {
    long double errSq = 0, refSq = 0, maxErr = 0;
    for (int64_t k = 0; k < n; ++k) {
        long double re, im;
        get(k, re, im);
        const long double dr = re - want.re[k], di = im - want.im[k];
        const long double e = dr * dr + di * di;
        errSq += e;
        refSq += want.re[k] * want.re[k] + want.im[k] * want.im[k];
        if (e > maxErr) maxErr = e;
    }
    Error out;
    if (refSq == 0) {
        out.rms = out.max = errSq == 0 ? 0.0 : INFINITY;
        return out;
    }
    out.rms = static_cast<double>(std::sqrt(errSq / refSq));
    out.max = static_cast<double>(std::sqrt(maxErr / (refSq / n)));
    return out;
}

}  // namespace

Error Compare(const double* gotRe, const double* gotIm, int64_t stride, const Spectrum& want) {
    return Measure(static_cast<int64_t>(want.re.size()), want,
                   [&](int64_t k, long double& re, long double& im) {
                       re = gotRe[k * stride];
                       im = gotIm[k * stride];
                   });
}

Error CompareHalfComplex(const double* hc, int64_t stride, const Spectrum& want) {
    const int64_t n = static_cast<int64_t>(want.re.size());
    return Measure(n, want, [&](int64_t k, long double& re, long double& im) {
        const int64_t f = k <= n / 2 ? k : n - k;  // the stored frequency
        re = hc[f * stride];
        im = (f == 0 || 2 * f == n) ? 0.0L : hc[(n - f) * stride];
        if (k > n / 2) im = -im;
    });
}

Error CompareReal(const double* x, int64_t stride, const std::vector<double>& want) {
    const int64_t n = static_cast<int64_t>(want.size());
    Spectrum ref{std::vector<long double>(want.begin(), want.end()), std::vector<long double>(n)};
    return Measure(n, ref, [&](int64_t k, long double& re, long double& im) {
        re = x[k * stride];
        im = 0;
    });
}

std::vector<double> Random(int64_t count, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<double> v(count);
    for (auto& x : v) x = u(rng);
    return v;
}

}  // namespace oracle
