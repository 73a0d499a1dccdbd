#!/bin/bash
# install_test.sh BUILD_DIR CONSUMERS_DIR [--windows TOOLCHAIN_FILE EMULATOR...]
# Installs BUILD_DIR into a temporary prefix, builds the consumers against it
# and runs them; natively also the installed front end. With --windows the
# CMake consumer is cross-built with the toolchain and run under the emulator
# (Wine) beside the installed DLLs.
set -euo pipefail
build=$1 consumers=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null

if [[ ${1:-} == --windows ]]; then
  toolchain=$2
  shift 2
  cmake -S "$consumers/cmake_consumer" -B "$work/cmake" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DMornavel_DIR="$prefix/lib/cmake/Mornavel" >/dev/null
  cmake --build "$work/cmake" >/dev/null
  cp "$prefix"/bin/*.dll "$work/cmake/"
  # Wine without a loader for the program may run nothing and say nothing.
  out=$("$@" "$work/cmake/spectrogram.exe")
  echo "$out"
  [[ $out == "find_package consumer:"* ]]
  echo "installed Windows copy: the find_package consumer ran"
  exit 0
fi

cmake -S "$consumers/cmake_consumer" -B "$work/cmake" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
"$work/cmake/spectrogram"

export PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name mornavel.pc)")
cc -std=c11 -Wall -Werror -o "$work/bridge" "$consumers/pkgconfig_consumer/bridge.c" \
   $(pkg-config --cflags --libs kessling tarvano-testhost) -lm \
   -Wl,-rpath,"$(pkg-config --variable=libdir kessling)"
"$work/bridge"

# The front end finds its libraries in the installed tree, not in the build.
"$prefix/bin/mornavel" render stft -o "$work/stft.png" >/dev/null
[[ -s $work/stft.png ]]
echo "installed copy: both consumers and the front end ran"
