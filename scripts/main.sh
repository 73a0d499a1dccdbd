#!/bin/bash
# The main job: installs what is missing, builds the front end and runs its
# demo, which renders the built-in capture with every method into out/ (or the
# folder given with --out) and prints where index.html is. It installs only
# what that needs (deps.sh run) and builds without the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh run
cmake --preset app >/dev/null
cmake --build --preset app -j "$(nproc)" --target mornavel
exec build/app/bin/mornavel demo "$@"
