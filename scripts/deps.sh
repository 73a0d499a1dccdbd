#!/bin/bash
# Installs what the build, the tests, the front end and the benchmarks need on a Debian machine
# (as root); packages already present are left alone.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config python3 binutils clang-format
  googletest libbenchmark-dev libfftw3-dev
  liblapack-dev
  libsndfile1-dev libasound2-dev libcairo2-dev libfontconfig-dev libcli11-dev fonts-dejavu-core sox
  g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64
  msitools
  xvfb xauth
)

# 32-bit Windows programs run under the i386 build of Wine.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
elif [[ -n ${need_update:-} ]]; then
  apt-get update -qq
fi
