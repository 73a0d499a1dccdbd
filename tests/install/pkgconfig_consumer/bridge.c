/* The same spectrogram through the installed Kessling, as a host calls it:
 * host arrays from the test host, the result kept in a reference and read
 * back as a 2-D host array of 13 frames by 32 bins. */
#include <kessling.h>
#include <math.h>
#include <stdio.h>
#include <string.h>
#include <testhost.h>

static HostArrayHandle Doubles(const double* values, int32_t count) {
    HostArrayHandle handle = TestHostNewHandle(4 + 8 * count);
    memcpy(*handle, &count, 4);
    memcpy((char*)*handle + 4, values, 8 * (size_t)count);
    return handle;
}

int main(void) {
    enum { n = 256, L = 64, D = 16, N = 64 };
    double x[n], ones[L];
    for (int t = 0; t < n; ++t) x[t] = cos(2 * 3.141592653589793 * 8 * t / N);
    for (int k = 0; k < L; ++k) ones[k] = 1.0;
    HostArrayHandle signal = Doubles(x, n);
    const SptWindowCluster window = {Doubles(ones, L), D, N};
    const uint8_t reassigned = 0;
    int32_t ref = 0, sizes[2];
    int32_t status = SptCreateRefH(&ref);
    if (status == 0) status = SptReSTFTSpH(ref, signal, &window, &reassigned);
    HostArrayHandle real = TestHostNewHandle(8), complex = TestHostNewHandle(8);
    if (status == 0) status = SptGetDataH(ref, 0, real, complex);
    if (status != 0) {
        printf("status %d\n", status);
        return 1;
    }
    memcpy(sizes, *real, 8);
    if (sizes[0] != (n - L) / D + 1 || sizes[1] != N / 2) {
        printf("%d x %d values\n", sizes[0], sizes[1]);
        return 1;
    }
    for (int i = 0; i < sizes[0] * sizes[1]; ++i) {
        double v;
        memcpy(&v, (char*)*real + 8 + 8 * i, 8);
        if (fabs(v - (i % (N / 2) == 8 ? 16.0 : 0.0)) > 1e-9) {
            printf("value %d: %g\n", i, v);
            return 1;
        }
    }
    SptDisposeRefH(ref);
    printf("pkg-config consumer: %d x %d spectrogram through Kessling\n", sizes[0], sizes[1]);
    return 0;
}
