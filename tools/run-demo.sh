#!/bin/sh
# Builds the plug-in and runs the demo player, which loads it and presses every key:
# bash tools/run-demo.sh [--interactive]
set -eu
cd "$(dirname "$0")/.."
sh tools/setup-debian.sh
cmake --preset default
cmake --build --preset default --target velmora_demo
status=0
tools/wine-run.sh "$PWD/build/wineprefix" build/bin/velmora_demo.exe "$@" || status=$?
WINEPREFIX="$PWD/build/wineprefix" wineserver -k 2>/dev/null || true
exit $status
