#!/bin/bash
# Plays a misbehaving package mirror to scripts/deps.sh through stand-ins for
# apt-get, dpkg, dpkg-query, id and npm earlier on PATH, and checks what the script
# says, what it installed and how it ended. Needs no network and no root.
set -uo pipefail
deps=$(cd "$(dirname "$0")/../.." && pwd)/scripts/deps.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"

# The stand-ins keep the machine's state in files under $STATE: the installed
# packages, the foreign architectures and a log of the apt-get calls.
cat >"$work/bin/apt-get" <<'TOOL'
#!/bin/bash
echo "$*" >>"$STATE/calls"
case $1 in
  update)
    n=$(($(cat "$STATE/updates" 2>/dev/null || echo 0) + 1)); echo $n >"$STATE/updates"
    if ((n <= FAIL_UPDATES)); then
      echo "E: Failed to fetch http://mirror.test/dists/stable/main/binary-i386/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress?"
      echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
      exit 100
    fi ;;
  install)
    shift; pkgs=(); for a; do [[ $a == -* ]] || pkgs+=("$a"); done
    for p in "${pkgs[@]}"; do
      if [[ " $REFUSE " == *" $p "* ]]; then echo "E: Unable to locate package $p"; exit 100; fi
    done
    printf '%s\n' "${pkgs[@]}" >>"$STATE/installed" ;;
esac
TOOL
cat >"$work/bin/dpkg-query" <<'TOOL'
#!/bin/bash
grep -qx -- "${!#}" "$STATE/installed" 2>/dev/null || exit 1
echo "install ok installed"
TOOL
cat >"$work/bin/dpkg" <<'TOOL'
#!/bin/bash
case $1 in
  --print-foreign-architectures) cat "$STATE/arches" ;;
  --add-architecture) echo "$2" >>"$STATE/arches" ;;
  --remove-architecture) sed -i "/^$2\$/d" "$STATE/arches" ;;
esac
TOOL
printf '#!/bin/sh\necho 0\n' >"$work/bin/id"
printf '#!/bin/sh\nexit 0\n' >"$work/bin/npm"
chmod +x "$work/bin/"*

failures=0
# check NAME PURPOSE FAIL_UPDATES REFUSE PRESENT EXPECTED_STATUS EXPECTED_OUTPUT
check() {
  local name=$1 purpose=$2 fail_updates=$3 refuse=$4 present=$5 want_status=$6 want=$7
  export STATE=$work/$name FAIL_UPDATES=$fail_updates REFUSE=$refuse
  mkdir "$STATE"; : >"$STATE/arches"
  [[ -n $present ]] && printf '%s\n' $present >"$STATE/installed"
  local out status=0
  out=$(PATH="$work/bin:$PATH" TARVANO_APT_PAUSE=0 bash "$deps" $purpose 2>&1) || status=$?
  local problems=()
  [[ $status == "$want_status" ]] || problems+=("exit $status, expected $want_status")
  [[ $out == "$want" ]] || problems+=("output:"$'\n'"$out"$'\n'"expected:"$'\n'"$want")
  local updates; updates=$(cat "$STATE/updates" 2>/dev/null || echo 0)
  [[ -z ${UPDATES:-} || $updates == "$UPDATES" ]] || problems+=("$updates updates, expected $UPDATES")
  # Every package not refused ends up installed.
  for p in $(PATH="$work/bin:$PATH" bash "$deps" --list $purpose); do
    [[ " $refuse " == *" $p "* ]] || grep -qx -- "$p" "$STATE/installed" || problems+=("$p not installed")
  done
  [[ -z ${ARCHES+x} || $(cat "$STATE/arches") == "$ARCHES" ]] ||
    problems+=("architectures: $(cat "$STATE/arches"), expected ${ARCHES:-none}")
  if ((${#problems[@]})); then
    printf 'FAIL %s\n' "$name"; printf '  %s\n' "${problems[@]}"; ((failures++))
  else
    echo "ok   $name"
  fi
  unset UPDATES ARCHES
}

index=http://mirror.test/dists/stable/main/binary-i386/Packages.xz

UPDATES=2 check update_fails_once test 1 "" "" 0 ""
UPDATES=3 check update_always_fails test 99 "" "" 0 \
  "deps: apt-get update failed 3 times (index: $index); going on with the package lists at hand"
ARCHES="" check optional_refused test 0 "wine32:i386" "" 0 \
  "deps: optional package wine32:i386 could not be installed (E: Unable to locate package wine32:i386); skipped: the Windows tests run in the 64-bit stand-in build"
check needed_refused test 0 "libfftw3-dev" "" 1 \
  "deps: needed package libfftw3-dev could not be installed: E: Unable to locate package libfftw3-dev
deps: stopping: a needed package is missing"
# Running the front end touches neither the i386 architecture nor the test packages.
ARCHES="" check run_purpose_alone run 0 "" "" 0 ""
# Nothing missing: apt-get is not called at all.
UPDATES=0 check nothing_missing run 0 "" "$(bash "$deps" --list run)" 0 ""

if ((failures)); then echo "$failures of 6 cases failed"; exit 1; fi
echo "all 6 cases passed"
