#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail
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
