#!/usr/bin/env bash
# Outlines the bundled sample document, with and without examples.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/ensure-packages.sh"
PYTHON=${PYTHON:-/usr/bin/python3}
"$root/scripts/build.sh" "$root/build/release" -DPLOMET_BUILD_TESTS=OFF >/dev/null
PYTHONPATH="$root/build/release/python" "$PYTHON" - "$root/samples/orders.json" <<'PY'
import sys
import plomet
text = open(sys.argv[1], encoding="utf-8").read()
print(plomet.analyze_json(text))
print()
print(plomet.analyze_json(text, show_examples=False))
PY
