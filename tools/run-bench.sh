#!/bin/sh
# Builds and runs the benchmark program under Wine, printing its table: sh tools/run-bench.sh
set -eu
cd "$(dirname "$0")/.."
. tools/wine-env.sh
build="$PWD/build-bench"
quietly cmake --preset default -B "$build"
quietly cmake --build "$build" --target velmora_bench gen_velmora velmora_desktop_keeper
trap 'WINEPREFIX="$build/wineprefix" wineserver -k 2>/dev/null || true' EXIT
tools/wine-run.sh --preflight "$build/wineprefix"
cd "$build/bin"
"$OLDPWD/tools/wine-run.sh" "$build/wineprefix" velmora_bench.exe
