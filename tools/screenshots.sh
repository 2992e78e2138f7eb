#!/bin/sh
# Regenerates docs/settings.png and docs/about.png: the configuration sheet as Wine draws it on a
# real (virtual) X display, in a Wine prefix of its own. Usage: tools/screenshots.sh [build folder]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/wine-env.sh"

if [ "${1:-}" != "--inside-xvfb" ]; then
    build=$(cd "${1:-$root/build}" && pwd)
    quietly cmake --build "$build" --target sheet_shot gen_velmora
    exec xvfb-run -a -s "-screen 0 800x600x24" "$0" --inside-xvfb "$build"
fi

build=$2
make_prefix "$build/shot-wineprefix" ""
preflight

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
