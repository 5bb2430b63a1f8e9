#!/usr/bin/env bash
# Builds everything and runs every test, C++ and Python: bash scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh study
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default -j2
# CTest prints "Skipped" alone: GoogleTest's reason is in CTest's log.
awk '/^".*" start time:/ { match($0, /^"[^"]*"/); test = substr($0, 2, RLENGTH - 2); sub(/  #.*/, "", test) }
     reason { print "  " test " skipped: " $0; reason = 0 }
     /: Skipped$/ { reason = 1 }' build/default/Testing/Temporary/LastTest.log
/usr/bin/python3 -m pytest -q -rs
