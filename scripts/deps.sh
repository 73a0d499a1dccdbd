#!/bin/bash
# Installs what a purpose needs on a Debian machine (as root); packages already
# present are left alone.
#
#   bash scripts/deps.sh [PURPOSE...]         (no purpose: run)
#   bash scripts/deps.sh --list [PURPOSE...]  the packages, one a line
#
#   run   build the libraries and the front end, and run it (scripts/main.sh)
#   test  everything the tests and CI need: run's packages, the test and
#         benchmark libraries, the Windows cross compilers, Wine and msitools,
#         a virtual display, Chromium and Node.js with npm's playwright-core
#         (in build/node) to drive it
#
# A package mirror may misbehave. A failed index update is tried again a few
# times, then the script goes on with the package lists at hand, naming the
# index that failed. A package that cannot be installed is named in one line:
# an optional one leaves the part that needs it to a fallback, which the line
# says; a needed one stops the script there (exit 1).
#
# TARVANO_APT_TRIES (3) and TARVANO_APT_PAUSE (5 seconds) set the retries.
set -uo pipefail

tries=${TARVANO_APT_TRIES:-3}
pause=${TARVANO_APT_PAUSE:-5}

needed_run=(
  cmake ninja-build g++ make pkg-config python3 binutils
  libsndfile1-dev libasound2-dev libcairo2-dev libfontconfig-dev libcli11-dev fonts-dejavu-core
  libcpp-httplib-dev nlohmann-json3-dev
)
needed_test=(
  googletest libbenchmark-dev libfftw3-dev liblapack-dev sox
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 msitools xvfb xauth fonts-wine chromium nodejs
)
# Optional packages, each with what goes without it.
declare -A without=(
  [wine32:i386]="the Windows tests run in the 64-bit stand-in build"
  [imagemagick]="the installer's screenshots stay bitmaps"
  [clang-format]="no formatter for developers"
)
optional_test=(wine32:i386 imagemagick clang-format)
# Debian's Node.js comes without npm, which another build of it may include.
without[npm]="the page's browser tests are skipped"
command -v npm >/dev/null 2>&1 || optional_test+=(npm)

say() { echo "deps: $*"; }

list=
if [[ ${1:-} == --list ]]; then
  list=1
  shift
fi
needed=()
optional=()
(($#)) || set -- run
for purpose in "$@"; do
  case $purpose in
    run) needed+=("${needed_run[@]}") ;;
    test) needed+=("${needed_run[@]}" "${needed_test[@]}") optional+=("${optional_test[@]}") ;;
    *) say "unknown purpose '$purpose' (run, test)" >&2; exit 2 ;;
  esac
done

if [[ -n $list ]]; then
  printf '%s\n' "${needed[@]}" "${optional[@]+"${optional[@]}"}" | sort -u
  exit 0
fi

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing_of() {
  local p
  for p in "$@"; do installed "$p" || echo "$p"; done | sort -u
}
mapfile -t missing_needed < <(missing_of "${needed[@]}")
mapfile -t missing_optional < <(missing_of "${optional[@]+"${optional[@]}"}")

# npm's playwright-core, which drives Chromium in the page's tests, into
# build/node of the repository (optional: without it those tests are skipped).
npm_packages() {
  local folder
  folder=$(cd "$(dirname "$0")/.." && pwd)/build/node
  [[ -f $folder/node_modules/playwright-core/package.json ]] && return
  mkdir -p "$folder"
  local out
  out=$(npm install --prefix "$folder" --no-audit --no-fund --no-save playwright-core@1 2>&1) ||
    say "optional npm package playwright-core could not be installed ($(grep -m1 -i "err" <<<"$out" || tail -n1 <<<"$out")); skipped: the page's browser tests"
}

if ((${#missing_needed[@]} + ${#missing_optional[@]} == 0)); then
  [[ " $* " == *" test "* ]] && npm_packages
  exit 0
fi

if [[ $(id -u) -ne 0 ]]; then
  say "missing packages: ${missing_needed[*]} ${missing_optional[*]} (run as root to install them)" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# 32-bit Windows programs run under the i386 build of Wine. An architecture
# added here for nothing is taken away again, so that a mirror without a
# usable i386 index does not fail every later update of the machine.
added_i386=
if [[ " ${missing_optional[*]} " == *":i386 "* ]] &&
   ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386 && added_i386=1
fi

# The first error line apt-get wrote, for a one-line report.
first_error() {
  grep -m1 -oE "Failed to fetch [^ ]+" "$log" | cut -d' ' -f4 | grep . ||
    grep -m1 -E "^(E|W): " "$log" || tail -n1 "$log"
}

attempt=1
until apt-get update -qq >"$log" 2>&1; do
  if ((attempt >= tries)); then
    say "apt-get update failed $tries times (index: $(first_error)); going on with the package lists at hand"
    break
  fi
  sleep "$pause"
  ((attempt++))
done

install() { apt-get install -y -qq --no-install-recommends "$@" >"$log" 2>&1; }

# The needed packages go in together; when that fails, one by one, so that
# each one refused is named and the others still install.
refused=0
if ((${#missing_needed[@]})) && ! install "${missing_needed[@]}"; then
  for p in "${missing_needed[@]}"; do
    installed "$p" || install "$p" ||
      { say "needed package $p could not be installed: $(first_error)"; refused=1; }
  done
fi
for p in "${missing_optional[@]+"${missing_optional[@]}"}"; do
  install "$p" || {
    say "optional package $p could not be installed ($(first_error)); skipped: ${without[$p]}"
    if [[ $p == *:i386 && -n $added_i386 ]]; then
      dpkg --remove-architecture i386 2>/dev/null || true
    fi
  }
done
if ((refused)); then
  say "stopping: a needed package is missing"
  exit 1
fi
[[ " $* " == *" test "* ]] && npm_packages
exit 0
