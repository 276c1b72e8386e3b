#!/usr/bin/env bash
# Builds the module, the command and the C++ loop programs (plomet's and
# simdjson's), then runs the benchmark and prints its tables, and those of
# many documents (bench/many_documents.py: --lines, --jobs, plomet.Shape), of
# the memory a process keeps after calls (bench/memory_kept.py), and
# of the cluster engines (bench/clusters.py: the command, plomet on Spark,
# Spark's and DuckDB's own inference, run with the engines that
# scripts/ensure-packages.sh --engines installs into build/engines; skipped
# with a note when they cannot be installed). Options go to bench/run_bench.py
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
"$PYTHON" "$root/bench/many_documents.py" --build-dir "$build" "${quick[@]}"
"$PYTHON" "$root/bench/memory_kept.py" --build-dir "$build" "${quick[@]}"
"$root/scripts/ensure-packages.sh" --engines "$root/build/engines" >&2
if [[ -f "$root/build/engines/unavailable" ]]; then
  echo "cluster benchmark skipped: $(cat "$root/build/engines/unavailable")"
else
  "$root/build/engines/bin/python" "$root/bench/clusters.py" --build-dir "$build" "${quick[@]}"
fi
