#!/bin/bash
# The main job: installs what is missing, builds the front end and runs its
# demo, which renders the built-in capture with every method into out/ (or the
# folder given with --out) and prints where index.html is.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target mornavel
exec build/default/bin/mornavel demo "$@"
