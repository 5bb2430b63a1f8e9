#!/usr/bin/env bash
# Builds everything and runs every test, C++ and Python: bash scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh study
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default -j2
/usr/bin/python3 -m pytest -q -rs
