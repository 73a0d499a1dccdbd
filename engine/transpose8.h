#pragma once
// The 8 × 8 transpose of eight vectors of eight doubles, shared by the
// engine's AVX-512 passes and the distributions' lane transforms. Static and
// always inlined: each caller gets it built for its own instruction set.

namespace engine {

typedef double Lanes8 __attribute__((vector_size(8 * sizeof(double))));

// v[i] lane j becomes v[j] lane i.
[[gnu::always_inline]] static inline void Transpose8(Lanes8* v) {
    Lanes8 t[8], u[8];
    for (int i = 0; i < 8; i += 2) {
        t[i] = __builtin_shufflevector(v[i], v[i + 1], 0, 8, 2, 10, 4, 12, 6, 14);
        t[i + 1] = __builtin_shufflevector(v[i], v[i + 1], 1, 9, 3, 11, 5, 13, 7, 15);
    }
    for (int i = 0; i < 8; i += 4) {
        for (int j = 0; j < 2; ++j) {
            u[i + j] = __builtin_shufflevector(t[i + j], t[i + j + 2], 0, 1, 8, 9, 4, 5, 12, 13);
            u[i + j + 2] =
                __builtin_shufflevector(t[i + j], t[i + j + 2], 2, 3, 10, 11, 6, 7, 14, 15);
        }
    }
    for (int j = 0; j < 4; ++j) {
        v[j] = __builtin_shufflevector(u[j], u[j + 4], 0, 1, 2, 3, 8, 9, 10, 11);
        v[j + 4] = __builtin_shufflevector(u[j], u[j + 4], 4, 5, 6, 7, 12, 13, 14, 15);
    }
}

}  // namespace engine
