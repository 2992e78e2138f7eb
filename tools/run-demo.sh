#!/bin/sh
# Builds the plug-in and runs the demo player, which loads it the way Winamp does:
#   bash tools/run-demo.sh                 presses every key through Wine's display-less driver and
#                                          prints what the player did; exit 0 when all did right
#   bash tools/run-demo.sh --interactive   the player's window on your X display (own Wine prefix)
# VELMORA_BUILD_DIR picks another build folder than build/.
set -eu
cd "$(dirname "$0")/.."
build=${VELMORA_BUILD_DIR:-build}
case $build in /*) ;; *) build="$PWD/$build" ;; esac
. tools/wine-env.sh
if [ "${1:-}" = --interactive ]; then sh tools/setup-debian.sh --desktop; else sh tools/setup-debian.sh; fi
quietly cmake --preset default -B "$build"
quietly cmake --build "$build" --target velmora_demo velmora_desktop_keeper

if [ "${1:-}" = --interactive ]; then
    if [ -z "${DISPLAY:-}" ]; then
        echo "run-demo.sh: --interactive needs an X display (DISPLAY is not set)." >&2
        exit 2
    fi
    # Not the tests' prefix: that one draws nothing (null driver) and must stay undisturbed.
    make_prefix "$build/wineprefix-desktop" ""
    preflight
    # Wine looks for the glyphs its UI font lacks only in the fonts linked to it, and shapes Thai
    # only with the first of them: the font setup-debian.sh --desktop installed goes first.
    quietly wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v Tahoma /t REG_MULTI_SZ /d unifont.otf,Unifont /f
    exec wine "$build/bin/velmora_demo.exe" --interactive
fi

prefix="$build/wineprefix"
trap 'WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true' EXIT
tools/wine-run.sh --preflight "$prefix"
tools/wine-run.sh "$prefix" "$build/bin/velmora_demo.exe" "$@"
