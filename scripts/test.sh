#!/bin/bash
# Installs what is missing, then builds and runs every test on every preset:
# native, native with the address/undefined and thread sanitizers, and the
# 32-bit Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

jobs=$(nproc)
presets=(${TARVANO_PRESETS:-default asan tsan windows})

# Some machines' kernels refuse 32-bit programs, Wine's own loader among them
# (the shell reports 126, "Exec format error"). There the Windows build is
# still made, so that it is known to compile and link, and its tests run in a
# 64-bit build of the same sources under 64-bit Wine.
runs_32bit_programs() {
  local loader=/usr/lib/wine/wine
  [[ -x $loader ]] || return 0  # let the test run say what is missing
  local status=0
  "$loader" --version >/dev/null 2>&1 || status=$?
  [[ $status -ne 126 ]]
}

# The thread sanitizer runs the suites of the code that uses threads.
threaded_tests=(hostbind_tests testhost_tests rhombel_tests bridge_tests sound_tests)

for preset in "${presets[@]}"; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  if [[ $preset == tsan ]]; then
    cmake --build --preset "$preset" -j "$jobs" --target "${threaded_tests[@]}"
    ctest --preset "$preset" -j "$jobs" -R "^($(IFS='|'; echo "${threaded_tests[*]}"))\$"
    continue
  fi
  cmake --build --preset "$preset" -j "$jobs"
  if [[ $preset == windows ]] && ! runs_32bit_programs; then
    echo "=== windows: built; its tests not run: this machine cannot execute 32-bit programs ==="
    # The same sources built as 64-bit Windows programs run the Windows tests
    # under 64-bit Wine instead.
    echo "=== windows64 (stand-in for the Windows tests) ==="
    cmake --preset windows64 >/dev/null
    cmake --build --preset windows64 -j "$jobs"
    export WINEPREFIX=$PWD/build/windows64/wineprefix WINEDEBUG=-all
    (unset DISPLAY; WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true)
    wineserver -p 120 || true
    ctest --preset windows64 -j "$jobs"
    wineserver -k || true
    continue
  fi
  if [[ $preset == windows ]]; then
    # One prefix per build, made once before the tests start in parallel.
    export WINEPREFIX=$PWD/build/windows/wineprefix WINEDEBUG=-all
    (unset DISPLAY; wineboot -i >/dev/null 2>&1 || true)
    wineserver -p 120 || true
  fi
  ctest --preset "$preset" -j "$jobs"
  if [[ $preset == windows ]]; then
    wineserver -k || true
  fi
done
echo "=== all tests passed ==="
