// The spectrogram of a cosine on bin 8 through the installed Mornavel: with a
// flat window of 64 points every frame holds (64/2)^2 / 64 = 16 in bin 8 and
// nothing elsewhere.
#include <mornavel.h>

#include <cmath>
#include <cstdio>
#include <vector>

int main() {
    const int n = 256, L = 64, D = 16, N = 64, frames = (n - L) / D + 1;
    std::vector<double> x(n), window(L, 1.0), sp(frames * N / 2);
    for (int t = 0; t < n; ++t) x[t] = std::cos(2 * M_PI * 8 * t / N);
    const StftParams params{window.data(), L, D, N};
    if (const int32_t status = ReSTFTsp(x.data(), n, &params, sp.data()); status != 0) {
        std::printf("ReSTFTsp: status %d\n", status);
        return 1;
    }
    for (int i = 0; i < frames; ++i)
        for (int b = 0; b < N / 2; ++b)
            if (std::fabs(sp[i * N / 2 + b] - (b == 8 ? 16.0 : 0.0)) > 1e-9) {
                std::printf("frame %d bin %d: %g\n", i, b, sp[i * N / 2 + b]);
                return 1;
            }
    std::printf("find_package consumer: %d frames, bin 8 holds 16\n", frames);
    return 0;
}
