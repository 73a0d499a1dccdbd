// Conversions between the real, interleaved complex, split and half-complex layouts.

#include "mornavel.h"

namespace {

// Writes the full Hermitian spectrum of a half-complex array; element k goes to
// (re[k * stride], im[k * stride]).
void Unpack(const double* hc, double* re, double* im, int32_t stride, int32_t n) {
    if (n <= 0) return;
    re[0] = hc[0];
    im[0] = 0.0;
    for (int32_t k = 1; k < (n + 1) / 2; ++k) {
        re[k * stride] = hc[k];
        im[k * stride] = hc[n - k];
        re[(n - k) * stride] = hc[k];
        im[(n - k) * stride] = -hc[n - k];
    }
    if (n % 2 == 0) {
        re[(n / 2) * stride] = hc[n / 2];
        im[(n / 2) * stride] = 0.0;
    }
}

// Keeps the Hermitian part of an arbitrary complex sequence.
void Pack(const double* re, const double* im, int32_t stride, double* hc, int32_t n) {
    if (n <= 0) return;
    hc[0] = re[0];
    for (int32_t k = 1; k < (n + 1) / 2; ++k) {
        hc[k] = (re[k * stride] + re[(n - k) * stride]) * 0.5;
        hc[n - k] = (im[k * stride] - im[(n - k) * stride]) * 0.5;
    }
    if (n % 2 == 0) hc[n / 2] = re[(n / 2) * stride];
}

}  // namespace

extern "C" {

void _Hc2Cx(const double* hc, double* cx, int32_t n) { Unpack(hc, cx, cx + 1, 2, n); }

void _Cx2Hc(const double* cx, double* hc, int32_t n) { Pack(cx, cx + 1, 2, hc, n); }

void _Hc2ReIm(const double* hc, double* re, double* im, int32_t n) { Unpack(hc, re, im, 1, n); }

void _ReIm2Hc(const double* re, const double* im, double* hc, int32_t n) { Pack(re, im, 1, hc, n); }

void _Cx2ReIm(const double* cx, double* re, double* im, int32_t n) {
    for (int32_t k = 0; k < n; ++k) {
        re[k] = cx[2 * k];
        im[k] = cx[2 * k + 1];
    }
}

void _ReIm2Cx(const double* re, const double* im, double* cx, int32_t n) {
    for (int32_t k = 0; k < n; ++k) {
        cx[2 * k] = re[k];
        cx[2 * k + 1] = im[k];
    }
}

}  // extern "C"
