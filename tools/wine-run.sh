#!/bin/sh
# Runs a Windows program under Wine in a project-private prefix: wine-run.sh PREFIX PROGRAM [ARG...]
# Makes the prefix on first use (display-less "null" driver, no crash dialog) and keeps one
# wineserver running, started with its output detached so that Wine's helper processes never
# hold a caller's pipes open.
set -eu
prefix=$1
shift
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

if [ ! -f "$prefix/.velmora-ready" ]; then
    mkdir -p "$prefix"
    (
        flock 9
        if [ ! -f "$prefix/.velmora-ready" ]; then
            wineboot -i >/dev/null 2>&1 </dev/null
            wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
            wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
            wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
            wineserver -w
            touch "$prefix/.velmora-ready"
        fi
    ) 9>"$prefix.lock" >/dev/null 2>&1 </dev/null
fi

# "wineserver -p" exits 2 when a server already runs; when it starts one, start Wine's helper
# processes at once too, with their output detached from ours.
if wineserver -p >/dev/null 2>&1 </dev/null; then
    wine wineboot >/dev/null 2>&1 </dev/null
fi

# Keep the desktop open from a detached process (see tools/desktop_keeper.cpp), and wait until
# it is, so that no test's program is the one that starts it.
keeper="$(dirname "$prefix")/bin/velmora_desktop_keeper.exe"
if [ -f "$keeper" ] && ! kill -0 "$(cat "$prefix/.keeper.pid" 2>/dev/null)" 2>/dev/null; then
    rm -f "$prefix/.keeper-ready"
    setsid wine "$keeper" "Z:$prefix/.keeper-ready" </dev/null >/dev/null 2>&1 &
    echo $! >"$prefix/.keeper.pid"
    tries=0
    while [ ! -f "$prefix/.keeper-ready" ] && [ $tries -lt 200 ]; do
        sleep 0.05
        tries=$((tries + 1))
    done
fi
exec wine "$@"
