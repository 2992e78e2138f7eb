#!/bin/sh
# Builds and runs the benchmark program under Wine, printing its table: sh tools/run-bench.sh
set -eu
cd "$(dirname "$0")/.."
build="$PWD/build-bench"
cmake --preset default -B "$build" >/dev/null
cmake --build "$build" --target velmora_bench gen_velmora >/dev/null
status=0
(cd "$build/bin" && "$OLDPWD/tools/wine-run.sh" "$build/wineprefix" velmora_bench.exe) || status=$?
WINEPREFIX="$build/wineprefix" wineserver -k 2>/dev/null || true
exit $status
