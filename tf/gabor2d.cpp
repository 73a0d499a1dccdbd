// Two-dimensional Gabor transform and expansion of images: the one-dimensional
// real transform along the first dimension (each column a signal), then the
// complex one along the second; the expansion in the reverse order.

#include "gabor.h"
#include "status.h"

using namespace tf;

extern "C" {

int32_t DGT2d(const double* image, int32_t R, int32_t C, const StftParams* p1, const StftParams* p2,
              double* coef) {
    if (R <= 0 || C <= 0) return status::kShortSignal;
    for (const StftParams* p : {p1, p2})
        if (const int32_t code = CheckGaborLattice(*p); code != status::kOk) return code;
    const int64_t rows = GaborFrames(R, p1->timeStep) * p1->freqBins;
    const int64_t columns = GaborFrames(C, p2->timeStep) * p2->freqBins;
    const int32_t N1 = p1->freqBins;

    // Dimension 1 of every image column, kept as C columns of `rows` complex values.
    scratch::Array<double> inter = ScratchArray<double>(2 * rows * C);
    scratch::Array<double> column = ScratchArray<double>(R + rows + 2 * int64_t{C});
    if (!inter || !column) return status::kNoMemory;
    double* halfComplex = column.get() + R;
    double* row = halfComplex + rows;
    GaborAnalysis first, second;
    if (first.AllocateBuffer(R, *p1, 1) != status::kOk) return status::kNoMemory;
    if (const int32_t code = first.PrepareTransform(false); code != status::kOk) return code;
    if (second.AllocateBuffer(C, *p2, 2) != status::kOk) return status::kNoMemory;
    if (const int32_t code = second.PrepareTransform(true); code != status::kOk) return code;

    for (int64_t c = 0; c < C; ++c) {
        for (int64_t r = 0; r < R; ++r) column[r] = image[r * C + c];
        first.Real(column.get(), halfComplex);
        for (int64_t j = 0; j < rows; j += N1)
            _Hc2Cx(halfComplex + j, inter.get() + 2 * (c * rows + j), N1);
    }
    for (int64_t j = 0; j < rows; ++j) {
        for (int64_t c = 0; c < C; ++c) {
            row[2 * c] = inter[2 * (c * rows + j)];
            row[2 * c + 1] = inter[2 * (c * rows + j) + 1];
        }
        double* to = coef + 2 * j * columns;
        second.Complex(row, row + 1, true, to, to + 1, 2);
    }
    return status::kOk;
}

int32_t DGE2d(const double* coef, int32_t M1, int32_t N1, int32_t M2, int32_t N2,
              const StftParams* p1, const StftParams* p2, double* image, int32_t R, int32_t C) {
    if (M1 <= 0 || N1 <= 0 || M2 <= 0 || N2 <= 0 || R <= 0 || C <= 0) return status::kShortSignal;
    if (const int32_t code = CheckSynthesisLattice(*p1, N1); code != status::kOk) return code;
    if (const int32_t code = CheckSynthesisLattice(*p2, N2); code != status::kOk) return code;
    const int64_t rows = int64_t{M1} * N1, columns = int64_t{M2} * N2;

    // Dimension 2 of every coefficient row, kept as `rows` rows of C complex values.
    scratch::Array<double> inter = ScratchArray<double>(2 * rows * C);
    scratch::Array<double> work = ScratchArray<double>(2 * int64_t{N1} + rows + R);
    if (!inter || !work) return status::kNoMemory;
    double* frame = work.get();  // N1 complex values
    double* halfComplex = frame + 2 * int64_t{N1};
    double* column = halfComplex + rows;
    GaborSynthesis second, first;
    if (second.Prepare(M2, *p2, true) != status::kOk) return status::kNoMemory;
    if (first.Prepare(M1, *p1, false) != status::kOk) return status::kNoMemory;

    for (int64_t j = 0; j < rows; ++j) {
        const double* from = coef + 2 * j * columns;
        double* to = inter.get() + 2 * j * C;
        second.ExpandComplex(from, from + 1, 2, to, to + 1, 2, C);
    }
    for (int64_t c = 0; c < C; ++c) {
        // Only the Hermitian part of each frame along dimension 1 makes a real column.
        for (int64_t j = 0; j < rows; j += N1) {
            for (int64_t k = 0; k < N1; ++k) {
                frame[2 * k] = inter[2 * ((j + k) * C + c)];
                frame[2 * k + 1] = inter[2 * ((j + k) * C + c) + 1];
            }
            _Cx2Hc(frame, halfComplex + j, N1);
        }
        first.ExpandReal(halfComplex, column, R);
        for (int64_t r = 0; r < R; ++r) image[r * C + c] = column[r];
    }
    return status::kOk;
}

}  // extern "C"
