#!/bin/sh
# Runs a Windows program under Wine in a project-private prefix: wine-run.sh PREFIX PROGRAM [ARG...]
#   wine-run.sh --preflight PREFIX   makes the prefix and its server ready and checks that a
#                                    32-bit program runs; says why and exits 1 when not.
# Makes the prefix on first use (display-less "null" driver, no crash dialog) and keeps one
# wineserver running, started with its output detached so that Wine's helper processes never
# hold a caller's pipes open.
set -eu
check=false
if [ "$1" = --preflight ]; then
    check=true
    shift
fi
prefix=$1
shift
. "$(dirname "$0")/wine-env.sh"
make_prefix "$prefix" null

# "wineserver -p" exits 2 when a server already runs; when it starts one, start Wine's helper
# processes at once too, with their output detached from ours.
if wineserver -p >/dev/null 2>&1 </dev/null; then
    # Bounded: under emulation a crashed server has left wineboot waiting for ever.
    timeout 600 wine wineboot >/dev/null 2>&1 </dev/null || true   # a broken Wine is told by the preflight
fi

if $check; then
    preflight
    exit 0
fi

# Keep the desktop open from a detached process (see tools/desktop_keeper.cpp), and wait until
# it is, so that no test's program is the one that starts it.
keeper="$(dirname "$prefix")/bin/velmora_desktop_keeper.exe"
if [ -f "$keeper" ] && ! kill -0 "$(cat "$prefix/.keeper.pid" 2>/dev/null)" 2>/dev/null; then
    rm -f "$prefix/.keeper-ready"
    setsid wine "$keeper" "Z:$prefix/.keeper-ready" </dev/null >/dev/null 2>&1 &
    echo $! >"$prefix/.keeper.pid"
    tries=0
    while [ ! -f "$prefix/.keeper-ready" ] && [ $tries -lt 600 ]; do
        sleep 0.05
        tries=$((tries + 1))
    done
    [ -f "$prefix/.keeper-ready" ] || echo "wine-run.sh: the desktop keeper did not start in 30 s; going on without it" >&2
fi
exec wine "$@"
