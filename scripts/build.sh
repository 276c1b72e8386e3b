#!/usr/bin/env bash
# Configures and builds one build tree: scripts/build.sh DIR [CMAKE ARGS...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
PYTHON=${PYTHON:-/usr/bin/python3}
cmake -S "$root" -B "$dir" -DPython3_EXECUTABLE="$PYTHON" "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
