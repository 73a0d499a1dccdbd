#!/bin/bash
# Installs what is missing, then builds and runs every test on every preset:
# native, native with the address/undefined and thread sanitizers, and the
# 32-bit Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test

jobs=$(nproc)
presets=(${TARVANO_PRESETS:-default asan tsan windows})

# The 32-bit Windows tests run under 32-bit Wine. Where its loader is not
# installed, or does not run (some machines' kernels refuse 32-bit programs:
# the shell reports 126, "Exec format error"), the Windows build is still made,
# so that it is known to compile and link, and its tests run in a 64-bit build
# of the same sources under 64-bit Wine. Prints why 32-bit programs cannot run,
# nothing where they can.
why_no_32bit_wine() {
  local loader=/usr/lib/wine/wine status=0
  if [[ ! -x $loader ]]; then
    echo "no 32-bit Wine loader is installed ($loader)"
    return
  fi
  "$loader" --version >/dev/null 2>&1 || status=$?
  if ((status == 126)); then
    echo "this machine cannot execute 32-bit programs"
  elif ((status != 0)); then
    echo "the 32-bit Wine loader does not run (exit status $status)"
  fi
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
  no_32bit=
  [[ $preset == windows ]] && no_32bit=$(why_no_32bit_wine)
  if [[ -n $no_32bit ]]; then
    echo "=== windows: built; its tests not run: $no_32bit ==="
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
