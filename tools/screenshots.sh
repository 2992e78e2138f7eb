#!/bin/sh
# Regenerates docs/settings.png and docs/about.png: the configuration sheet as Wine draws it on a
# real (virtual) X display, in a Wine prefix of its own. Usage: tools/screenshots.sh [build folder]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" != "--inside-xvfb" ]; then
    build=$(cd "${1:-$root/build}" && pwd)
    cmake --build "$build" --target sheet_shot gen_velmora >/dev/null
    exec xvfb-run -a -s "-screen 0 800x600x24" "$0" --inside-xvfb "$build"
fi

build=$2
export WINEPREFIX="$build/shot-wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/.velmora-ready" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 </dev/null
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    # Without a window manager, Wine draws the caption itself and closes windows at once.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.velmora-ready"
fi

work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
wine "$build/bin/sheet_shot.exe" "$(winepath -w "$work")" >/dev/null 2>&1 </dev/null &
shot=$!

for page in settings about; do
    tries=0
    until [ -f "$work/$page.ready" ]; do
        tries=$((tries + 1))
        [ $tries -le 600 ] || { echo "screenshots: the $page page never came up" >&2; exit 1; }
        sleep 0.1
    done
    sleep 0.5   # let Wine finish drawing the page it has just switched to
    geometry=$(tr -d '\r\n' < "$work/$page.ready")
    import -window root "$work/screen.png"
    convert "$work/screen.png" -crop "$geometry" +repage "$root/docs/$page.png"
    touch "$work/$page.done"
    echo "docs/$page.png ($geometry)"
done
wait $shot
