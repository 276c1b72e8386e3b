#!/usr/bin/env bash
# Configures and builds one build tree: scripts/build.sh DIR [CMAKE ARGS...]
# Every option of the project is set on each run, to its default unless the
# arguments say otherwise, so a tree configured earlier with other options
# builds exactly what this run asks for.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
PYTHON=${PYTHON:-/usr/bin/python3}
defaults=(-DCMAKE_BUILD_TYPE=Release -DPLOMET_WERROR=OFF -DPLOMET_SANITIZE=OFF -DPLOMET_THREAD_SANITIZER=OFF -DPLOMET_BUILD_MODULE=ON
  -DPLOMET_BUILD_CLI=ON -DPLOMET_BUILD_TESTS=ON -DPLOMET_BUILD_FUZZERS=OFF -DPLOMET_BUILD_BENCH=OFF)
cmake -S "$root" -B "$dir" -DPython3_EXECUTABLE="$PYTHON" "${defaults[@]}" "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
