#!/bin/sh
# Builds everything and runs the whole test suite under Wine: bash tools/run-tests.sh
set -eu
cd "$(dirname "$0")/.."
sh tools/setup-debian.sh
cmake --preset default
cmake --build --preset default
prefix="$PWD/build/wineprefix"
# The tests' wineserver is persistent; stop it so nothing outlives the run.
trap 'WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true' EXIT
tools/wine-run.sh --preflight "$prefix"
status=0
ctest --preset default || status=$?
# Second compiler: clang and lld build everything warning-free into build-clang/, and its DLL
# passes the size, import and export check (the Wine suite runs on the GCC build above).
cmake --workflow --preset clang || status=$?
exit $status
