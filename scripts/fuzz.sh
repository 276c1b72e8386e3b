#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each one.
# usage: scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
"$root/scripts/ensure-packages.sh"
build="$root/build/fuzz"
# The tree and options of the test command's sanitizer build, which it shares.
CC=clang CXX=clang++ "$root/scripts/build.sh" "$build" -DPLOMET_WERROR=ON -DPLOMET_SANITIZE=ON \
  -DPLOMET_BUILD_FUZZERS=ON -DPLOMET_BUILD_MODULE=OFF -DPLOMET_BUILD_CLI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo

# Seeds: the shared corpora and the fuzzers' own small seeds.
seeds="$build/seeds"
mkdir -p "$seeds"
shared=${PLOMET_SHARED_DIR:-$root/../shared}
find "$shared/corpora/jsontestsuite" "$shared/corpora/json5-tests" "$root/fuzz/seeds" -type f \
  \( -name '*.plsh' -o -name '*.json' -o -name '*.json5' -o -name '*.js' -o -name '*.txt' \) -size -64k \
  -exec cp -t "$seeds" {} + 2>/dev/null || true

# The targets run side by side, one per core.
targets=(fuzz_engine fuzz_repair_passes fuzz_resumed_reads fuzz_shape_merge fuzz_shape_bytes)
pids=()
for target in "${targets[@]}"; do
  corpus="$build/corpus-$target"
  mkdir -p "$corpus"
  echo "== $target for ${seconds}s"
  "$build/$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix="$build/$target-" "$corpus" "$seeds" >"$build/$target.log" 2>&1 &
  pids+=($!)
done
status=0
for i in "${!targets[@]}"; do
  if wait "${pids[$i]}"; then
    echo "== ${targets[$i]}: no findings"
    grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$build/${targets[$i]}.log" || true
  else
    echo "== ${targets[$i]}: FINDING (artifacts: $build/${targets[$i]}-*)"
    tail -n 40 "$build/${targets[$i]}.log"
    status=1
  fi
done
exit $status
