#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing:
#   scripts/ensure-packages.sh [DEBIAN PACKAGE...]
# With --engines DIR it also makes DIR a virtual environment of $PYTHON (with
# its system packages) holding the engines of tests/engines/requirements.txt
# (Spark, Dask, DuckDB), and Java for Spark. When the package index cannot
# be reached, it writes why to DIR/unavailable, which the engines' tests
# report as their reason to skip; any other failure of pip fails the script.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
engines=
if [[ "${1:-}" == --engines ]]; then
  engines=$2
  shift 2
  set -- openjdk-17-jre-headless "$@"
fi
packages=(cmake g++ clang libclang-rt-14-dev make libgtest-dev libbenchmark-dev
  python3 python3-dev python3-pytest python3-numpy python3-hypothesis
  python3-setuptools python3-wheel python3-pip python3-venv mypy binutils libsimdjson-dev
  python3-jsonschema time "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

[[ -n "$engines" ]] || exit 0
requirements=$root/tests/engines/requirements.txt
[[ -x "$engines/bin/python" ]] || "${PYTHON:-/usr/bin/python3}" -m venv --system-site-packages "$engines"
rm -f "$engines/unavailable"
# Installed already when every pinned version is there.
if "$engines/bin/python" -m pip install --no-index --dry-run -q -r "$requirements" >/dev/null 2>&1 &&
  "$engines/bin/python" -c "import pyspark, pyarrow, pandas, dask.bag, distributed, duckdb" 2>/dev/null; then
  exit 0
fi
echo "installing into $engines: $(grep -v '^#' "$requirements" | tr '\n' ' ')"
log=$engines/pip.log
if "$engines/bin/python" -m pip install -q -r "$requirements" >"$log" 2>&1; then
  exit 0
fi
if grep -qiE "NewConnectionError|Max retries exceeded|Temporary failure in name resolution|Network is unreachable|Could not fetch URL|ConnectTimeout|ReadTimeout" "$log"; then
  echo "the package index cannot be reached: see $log" | tee "$engines/unavailable"
  exit 0
fi
cat "$log" >&2
exit 1
