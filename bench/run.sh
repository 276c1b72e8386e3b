#!/usr/bin/env bash
# Builds the module, the command and the C++ loop programs (plomet's and
# simdjson's), then runs the benchmark and prints its tables, and those of
# many documents (bench/many_documents.py: --lines, --jobs, plomet.Shape). Options go to bench/run_bench.py
# (--quick, --skip-1gb, --repeats N, --help). A full run generates about
# 1.5 GB of documents once (cached in the build folder) and needs some 12 GiB
# of free memory for its 1 GB document. PYTHON selects the interpreter
# (default /usr/bin/python3), PLOMET_BUILD_DIR the build folder (default
# build/bench), PLOMET_SHARED_DIR the folder holding corpora/ (default
# ../shared).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/ensure-packages.sh" libsimdjson-dev >&2
export PYTHON=${PYTHON:-/usr/bin/python3}
build=${PLOMET_BUILD_DIR:-$root/build/bench}
"$root/scripts/build.sh" "$build" -DPLOMET_BUILD_MODULE=ON -DPLOMET_BUILD_TESTS=OFF -DPLOMET_BUILD_CLI=ON \
  -DPLOMET_BUILD_BENCH=ON >&2
"$PYTHON" "$root/bench/run_bench.py" --build-dir "$build" "$@"
quick=()
[[ " $* " == *" --quick "* ]] && quick=(--quick)
exec "$PYTHON" "$root/bench/many_documents.py" --build-dir "$build" "${quick[@]}"
