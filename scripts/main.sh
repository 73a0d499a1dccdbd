#!/bin/bash
# The main job: installs what is missing, builds the benchmarks tuned for this
# machine and prints the engine's timings beside FFTW's.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)"
exec build/bench/bin/fft_bench "$@"
