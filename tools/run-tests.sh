#!/bin/sh
# Builds everything and runs the whole test suite under Wine: bash tools/run-tests.sh
set -eu
cd "$(dirname "$0")/.."
sh tools/setup-debian.sh
cmake --preset default
cmake --build --preset default
status=0
ctest --preset default || status=$?
# The tests' wineserver is persistent; stop it so nothing outlives the run.
WINEPREFIX="$PWD/build/wineprefix" wineserver -k 2>/dev/null || true
exit $status
