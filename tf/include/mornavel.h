/* Mornavel: time-frequency analysis on arrays of doubles.
 *
 * Every function returns a signed 32-bit status, 0 on success; outputs go into
 * caller-owned arrays. Matrices are frame-major: all frequency bins of one time
 * instant together, instants in time order. */
#ifndef MORNAVEL_H
#define MORNAVEL_H

#include <stdint.h>

#if defined(_WIN32)
#define MORNAVEL_API
#else
#define MORNAVEL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Status codes shared by the exports. */
enum {
    MORNAVEL_OK = 0,
    MORNAVEL_BAD_LAYOUT = -1,   /* bad array layout or transform-length mismatch */
    MORNAVEL_NO_MEMORY = -20001 /* scratch memory exhausted */
};

/* Analysis window and lattice of the STFT, Gabor and reassignment exports. */
typedef struct StftParams {
    const double* window; /* w[0 .. windowLength-1] */
    int32_t windowLength; /* L */
    int32_t timeStep;     /* D, samples between frames */
    int32_t freqBins;     /* N, a power of two */
} StftParams;

/* One Gaussian chirplet atom. */
typedef struct AtomParams {
    double alpha;           /* inverse of the Gaussian variance, 1/samples^2 */
    double centerTime;      /* samples */
    double centerFrequency; /* radians per sample */
    double chirpRate;       /* radians per sample^2 */
} AtomParams;

/* Layout conversions. Half-complex: hc[k] = Re X[k] for k <= n/2 and
 * hc[n-k] = Im X[k] for 1 <= k < n/2. Interleaved complex arrays hold n pairs. */
MORNAVEL_API void _Hc2Cx(const double* hc, double* cx, int32_t n);
MORNAVEL_API void _Cx2Hc(const double* cx, double* hc, int32_t n);
MORNAVEL_API void _Cx2ReIm(const double* cx, double* re, double* im, int32_t n);
MORNAVEL_API void _ReIm2Cx(const double* re, const double* im, double* cx, int32_t n);
MORNAVEL_API void _Hc2ReIm(const double* hc, double* re, double* im, int32_t n);
MORNAVEL_API void _ReIm2Hc(const double* re, const double* im, double* hc, int32_t n);

/* Short-time Fourier transform. Frame i covers samples i*D .. i*D+L-1 of the
 * signal; there are M = (n - L)/D + 1 frames (n > L). The window is folded onto
 * N points and rotated so that bin b of frame i is
 *   sum_k w[k] x[i*D + k] exp(-2 pi i b (k + i*D + s0) / N),
 * s0 being the initial shift reduced modulo N. */
MORNAVEL_API int32_t ReSTFT(const double* x, int32_t n, const StftParams* p, double* out);
/* *shift (>= 0) is the time reference of the first frame; on return it holds
 * (*shift mod N) + M*D, ready for the block that starts M*D samples later. */
MORNAVEL_API int32_t ReSTFTWithShift(const double* x, int32_t n, const StftParams* p,
                                     int32_t* shift, double* out);
MORNAVEL_API int32_t CxSTFT(const double* x, int32_t n, const StftParams* p, double* out);
MORNAVEL_API int32_t CxSTFTEx(const double* xRe, const double* xIm, int32_t inStride, int32_t n,
                              const StftParams* p, double* outRe, double* outIm, int32_t outStride);
MORNAVEL_API int32_t CxSTFTExWithShift(const double* xRe, const double* xIm, int32_t inStride,
                                       int32_t n, const StftParams* p, int32_t* shift,
                                       double* outRe, double* outIm, int32_t outStride);
/* Spectrograms |X|^2 / N: N/2 bins per frame (real signal), N bins (complex). */
MORNAVEL_API int32_t ReSTFTsp(const double* x, int32_t n, const StftParams* p, double* sp);
MORNAVEL_API int32_t CxSTFTsp(const double* x, int32_t n, const StftParams* p, double* sp);

/* Reassigned spectrograms: M = (n - L)/D + 1 frames (n >= L, L >= 2), N/2 bins
 * per frame (real signal) or N bins (complex signal, interleaved). */
MORNAVEL_API int32_t ReReassignedSTFTSp(const double* x, int32_t n, const StftParams* p,
                                        double* out);
MORNAVEL_API int32_t CxReassignedSTFTSp(const double* z, int32_t n, const StftParams* p,
                                        double* out);

/* Gabor transform: the signal is padded with zeros to P = D*ceil(n/D) samples
 * and taken as periodic with period P; frame i (i < P/D) is centred on sample
 * i*D. Needs L a multiple of D and of N, N a power of two and N >= D. */
MORNAVEL_API int32_t ReDGT(const double* x, int32_t n, const StftParams* p, double* out);
MORNAVEL_API int32_t CxDGT(const double* x, int32_t n, const StftParams* p, double* out);
/* inLayout 1: two arrays of n doubles; 2: interleaved, xIm == xRe + 1. */
MORNAVEL_API int32_t CxDGTEx(const double* xRe, const double* xIm, int32_t inLayout, int32_t n,
                             const StftParams* p, double* outRe, double* outIm, int32_t outStride);
/* Block-wise analysis on the frame grid of ReSTFT over the whole stream (frames
 * start at multiples of D from the stream's first sample; D a power of two).
 * The samples kept between calls (state, *stateLength of them, 0 before the
 * first block) are joined with the n new ones; a call emits the whole frames of
 * the joined samples in groups of N/D frames, so that each call starts on a
 * multiple of N samples and the phases continue: F = floor(W / (N/D)) * (N/D)
 * frames with W = (J - L)/D + 1 for J = *stateLength + n >= L, else none. out
 * receives F*N doubles (at most W*N), state keeps the J - F*D samples not yet
 * consumed (at most L + N - D - 1 of them; a larger *stateLength is refused). */
MORNAVEL_API int32_t ReDGTWithIC(const double* x, int32_t n, double* state, int32_t* stateLength,
                                 const StftParams* p, double* out);

/* Gabor expansion of M frames of N coefficients with the synthesis window of
 * p; synthesises T = M*D samples, of which the first min(outLength, T) are
 * written, followed by zeros up to outLength. */
MORNAVEL_API int32_t ReDGE(const double* coef, int32_t M, int32_t N, const StftParams* p,
                           double* out, int32_t outLength);
MORNAVEL_API int32_t CxDGE(const double* coef, int32_t M, int32_t N, const StftParams* p,
                           double* out, int32_t outLength);
MORNAVEL_API int32_t CxDGEEx(const double* coefRe, const double* coefIm, int32_t coefStride,
                             int32_t M, int32_t N, const StftParams* p, double* outRe,
                             double* outIm, int32_t outStride, int32_t outLength);
/* Block-wise expansion without wrap: out receives T = M*D samples, frame i's
 * window starting at sample i*D; the overlap tail (L - D doubles) is carried in
 * state. *stateLength is 0 before the first block and at most L - D. */
MORNAVEL_API int32_t ReDGEWithIC(const double* coef, int32_t M, int32_t N, const StftParams* p,
                                 double* out, double* state, int32_t* stateLength);

/* Two-dimensional Gabor transform of an R x C image (row-major): the first
 * dimension (columns as signals) with p1, the second with p2. coef holds
 * (M1*N1) x (M2*N2) interleaved complex values, M1 = ceil(R/D1), M2 = ceil(C/D2). */
MORNAVEL_API int32_t DGT2d(const double* image, int32_t R, int32_t C, const StftParams* p1,
                           const StftParams* p2, double* coef);
MORNAVEL_API int32_t DGE2d(const double* coef, int32_t M1, int32_t N1, int32_t M2, int32_t N2,
                           const StftParams* p1, const StftParams* p2, double* image, int32_t R,
                           int32_t C);

/* Signal extension: extLen samples before x[0] (before[extLen-1] next to it)
 * and extLen samples after x[n-1] (after[0] next to it). type: 0 zeros,
 * 1 mirror image, 2 periodic, 3 mirror image faded out, 5 line through the two
 * edge samples, 6 parabola through the three edge samples. The complex variant
 * takes interleaved pairs. Returns 4 for an unknown type, 1 for a signal too
 * short for the rule. */
MORNAVEL_API int32_t ReExtension(const double* x, int32_t n, int32_t type, int32_t extLen,
                                 double* before, double* after);
MORNAVEL_API int32_t CxExtension(const double* x, int32_t n, int32_t type, int32_t extLen,
                                 double* before, double* after);

/* Unit-energy Gaussian window: w[i] = (pi*variance)^(-1/4) *
 * exp(-(center - i)^2 / (2*variance)), i = 0 .. L-1. Always returns 0. */
MORNAVEL_API int32_t Gaussian(int32_t L, double center, double variance, double* w);
/* Minimum-norm dual (synthesis) window of the analysis window w[0 .. L-1] for
 * time step D and N frequency bins (a power of two, N >= D, L a multiple of
 * both). mode 0 takes the window as periodic with period L; mode 1 makes the
 * Gabor expansion invert the Gabor transform for any signal length. dual
 * receives L doubles. */
MORNAVEL_API int32_t FastDual(const double* w, int32_t L, int32_t D, int32_t N, int32_t mode,
                              double* dual);

/* Quadratic distributions. A complex signal (im not null) is interpolated to
 * twice its rate and yields B bins per row, bin m at m/B cycles per sample
 * (bins m >= B/2 the negative frequencies); a real signal (im null) is
 * interpolated (analytic 0) or replaced by its analytic signal (analytic not
 * 0) and yields B/2 bins. Row r belongs to sample r*S; out receives
 * floor(n/S) rows, time-major. B is a power of two. */
/* Pseudo Wigner-Ville distribution, S >= 1; returns 12 for S <= 0 and 3 for
 * B = 1 with an analytic real signal. */
MORNAVEL_API int32_t WVD(const double* re, const double* im, int32_t n, int32_t B, int32_t S,
                         int32_t analytic, double* out);
/* Cohen-class distribution with the caller's kernel: B rows (one per lag) of
 * H = NextPowerOfTwo(S*floor(n/S)) columns, column H/2 zero Doppler; S a power
 * of two. Returns 18 when H does not fit. */
MORNAVEL_API int32_t Cohen(const double* re, const double* im, int32_t n, const double* kernel,
                           int32_t B, int32_t H, int32_t S, int32_t analytic, double* out);
/* Choi-Williams distribution: kernel exp(-tau^2 * sigma * theta^2); sigma 0
 * gives the Wigner-Ville distribution, a larger sigma smooths more. */
MORNAVEL_API int32_t CWD(const double* re, const double* im, int32_t n, int32_t B, int32_t S,
                         double sigma, int32_t analytic, double* out);
/* Cone-shaped distribution: kernel exp(-alpha * tau^2) * sin(a)/a with
 * a = pi * tau * (Doppler bin) / H. */
MORNAVEL_API int32_t CSD(const double* re, const double* im, int32_t n, int32_t B, int32_t S,
                         double alpha, int32_t analytic, double* out);

/* Gabor spectrogram from M x N Gabor coefficients (interleaved complex, as
 * CxDGT delivers them) of time step dM and Gaussian window variance v: the
 * auto and cross terms of the coefficient pairs whose distance in time
 * positions plus channels lies in orderLow .. orderHigh (limited to
 * min(M, N) - 1; an orderLow above that limit computes that order alone).
 * out receives M*P rows of Q values, row l*P + j at the instant
 * (l + j/P)*dM, column q at frequency (h + q)/(N*G) cycles per sample, the
 * grid rotated by half its length when the low byte of centre is set. The
 * terms of disjoint order ranges add. Returns 13 for orderHigh < 0, 17 for
 * v <= 0, 19 for dM not a power of two, 21 for P or G negative and 20 when
 * h .. h+Q-1 does not lie in 0 .. N*G-1 (so always for G = 0). */
MORNAVEL_API int32_t CxGaborSp(const double* coef, int32_t M, int32_t N, int32_t centre, int32_t dM,
                               double v, int32_t orderLow, int32_t orderHigh, int32_t P, int32_t G,
                               int32_t h, int32_t Q, double* out);
/* Energy-weighted mean bin of every row of a rows x cols non-negative matrix
 * into freq, and the row sums into energy. Means of 0, above cols - 1 or not
 * a number are replaced by linear interpolation between the valid rows
 * around them (0 beyond the first and the last valid row; 0 everywhere when
 * none is valid). reserved1 and reserved2 are ignored. */
MORNAVEL_API int32_t InstantaneousFrequency(const double* tfd, int32_t rows, int32_t cols,
                                            int32_t reserved1, int32_t reserved2, double* freq,
                                            double* energy);
/* Mean instantaneous frequency in radians per sample of the Gabor spectrogram
 * of the given order (limited to min(M, N) - 1), from its coefficients,
 * without forming the spectrogram: out receives P*(M-1) values, value l*P + s
 * at the instant (l + s/P)*dM. Where no coefficient energy reaches an instant
 * (denominator 0) the value is 0. Returns 17 for v <= 0, 19 for dM not a
 * power of two, 13 for order < 0 and 21 for P < 0. */
MORNAVEL_API int32_t MIFOfGaborSp(const double* coef, int32_t M, int32_t N, int32_t dM, double v,
                                  int32_t order, int32_t P, double* out);

/* Adaptive (chirplet) representation. An atom is described by an AtomParams
 * record {alpha (1/samples^2, > 0), centre time (samples), centre frequency
 * (radians per sample), chirp rate (radians per sample^2)}: the Gaussian
 * chirplet (alpha/pi)^(1/4) exp(-alpha d^2/2) exp(i d (rate d/2 + freq)) with
 * d = i - time, of unit energy. Coefficients are interleaved complex, one per
 * atom, in the order of the records. */
/* The signal rebuilt from M atoms (params: 4*M doubles, coefs: 2*M): n
 * interleaved complex samples, or n real samples (each atom taken from the
 * side of the spectrum its frequency lies on). Atoms are evaluated within nine
 * deviations of their centre; one whose support misses 0 .. n-1 or whose
 * parameters are not numbers adds nothing. Returns 1 for M < 1 or n < 1; the
 * real version returns -20001, output untouched, when memory is exhausted. */
MORNAVEL_API int32_t CxAdaptiveExpansion(const double* params, const double* coefs, int32_t M,
                                         int32_t n, double* out);
MORNAVEL_API int32_t ReAdaptiveExpansion(const double* params, const double* coefs, int32_t M,
                                         int32_t n, double* out);
/* Adaptive spectrogram: the sum of the atoms' closed-form Wigner-Ville
 * distributions divided by Nf, rows x cols values, row r at the instant
 * t0 + r*dT (t0 < 0 counts as 0), column q at bin f0 + q of Nf bins around
 * the circle. The real version folds every atom's frequency into 0 .. pi and
 * needs 0 <= f0 and f0 + cols <= Nf (else 20); in the complex one column q
 * shows bin (f0 + q) mod Nf for any f0 and cols, each atom's bins wrapping
 * around the circle (at most 64 turns of it, which only atoms narrower than a
 * twentieth of a sample reach), and the low byte of centre set puts zero
 * frequency in the middle. Returns 1 for M, rows or cols < 1, 11 for dT < 1,
 * 3 for Nf < 1, -20001 for more than 2^31 - 1 output values. */
MORNAVEL_API int32_t ReAdaptiveSp(const double* coefs, const double* params, int32_t M, int32_t dT,
                                  int32_t Nf, int32_t t0, int32_t f0, int32_t rows, int32_t cols,
                                  double* out);
MORNAVEL_API int32_t CxAdaptiveSp(const double* coefs, const double* params, int32_t M, int32_t dT,
                                  int32_t Nf, int32_t t0, int32_t f0, int32_t rows, int32_t cols,
                                  double* out, int32_t centre);
/* Matching pursuit with Gaussian chirplets: up to maxAtoms atoms, each the
 * best match of the residual at the scales of windows up to maxWindow
 * (rounded up to a power of two; below 8 the power of two nearest n), refined
 * by `iterations` probes (<= 0: 10; mode 1 keeps the probing chirp rate) and
 * subtracted. The signal is extended at both ends for the search by the rule
 * extType of ReExtension. The multiscale search is redone within
 * support/sqrt(alpha/2) samples of each atom (support <= 0 or not a number:
 * 4). Extraction ends early at the first atom whose subtraction would not
 * lower the residual's energy: that atom is not counted and not subtracted
 * (its parameters and coefficient stay at index *numAtoms). Writes the count,
 * the residual energy in percent of the signal's (100 for a zero signal), coefs
 * (2 per atom), params (4 per atom) and the residual, the signal less the
 * counted atoms (the signal's layout). *numAtoms is set to 0 first. Returns,
 * in this order, 1 for n < 8, 15 for maxAtoms < 0, 4 for an extension type
 * the signal extension does not know, -20001 for exhausted memory or windows
 * beyond 2^30 samples; on an error the count stays 0 and neither the residual
 * nor the percentage is written. */
MORNAVEL_API int32_t ReAdaptiveTransform(const double* signal, int32_t n, int32_t mode,
                                         int32_t extType, int32_t maxWindow, double support,
                                         int32_t iterations, int32_t maxAtoms, int32_t* numAtoms,
                                         double* residualPercent, double* coefs, double* params,
                                         double* residual);
MORNAVEL_API int32_t CxAdaptiveTransform(const double* signal, int32_t n, int32_t mode,
                                         int32_t extType, int32_t maxWindow, double support,
                                         int32_t iterations, int32_t maxAtoms, int32_t* numAtoms,
                                         double* residualPercent, double* coefs, double* params,
                                         double* residual);

#ifdef __cplusplus
}
#endif

#endif /* MORNAVEL_H */
