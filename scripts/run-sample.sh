#!/usr/bin/env bash
# Outlines the bundled sample document, with and without examples.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/ensure-packages.sh"
PYTHON=${PYTHON:-/usr/bin/python3}
# Its own build tree, holding the module only, so that it and the test
# command's trees never meet.
"$root/scripts/build.sh" "$root/build/sample" -DPLOMET_BUILD_TESTS=OFF -DPLOMET_BUILD_CLI=OFF >/dev/null
PYTHONPATH="$root/build/sample/python" "$PYTHON" - "$root/samples/orders.json" <<'PY'
import sys
import plomet
text = open(sys.argv[1], encoding="utf-8").read()
print(plomet.analyze_json(text))
print()
print(plomet.analyze_json(text, show_examples=False))
PY
