#!/bin/sh
# Builds the plug-in and its setup twice, in two fresh build folders at different paths, with the
# tests; runs the DLL, installer and demo tests of the first build under Wine; fails when a test
# fails, the DLL fails its check or the two builds differ by a byte; and writes the release into
# dist/: the DLL, the setup, a zip of the DLL with a README for users, the LICENSE and the
# CHANGELOG, SHA256SUMS, and the versions of the Debian packages that built it. dist/ is replaced
# only when all of that succeeded.
#   bash tools/release.sh                 refuses a working tree with uncommitted changes or
#                                         untracked files
#   bash tools/release.sh --allow-dirty   builds one anyway (not a release of HEAD)
set -eu
cd "$(dirname "$0")/.."
allow_dirty=false
case "${1-}" in
    "") ;;
    --allow-dirty) allow_dirty=true ;;
    *) echo "usage: bash tools/release.sh [--allow-dirty]" >&2; exit 2 ;;
esac
# The artefacts carry HEAD's version and time, so they must be built from HEAD's sources alone:
# an untracked file (a source the build globs, a stray header) would go in too.
if [ -n "$(git status --porcelain --untracked-files=all)" ]; then
    if ! $allow_dirty; then
        echo "release.sh: uncommitted changes or untracked files: commit or remove them first, or" \
             "pass --allow-dirty to build a release that is not $(git rev-parse --short HEAD)'s" >&2
        git status --short --untracked-files=all >&2
        exit 1
    fi
    echo "release.sh: warning: uncommitted changes or untracked files; this is not a release of" \
         "$(git rev-parse --short HEAD)" >&2
fi
sh tools/setup-debian.sh
version=$(sed -n 's/^project(velmora VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "release.sh: no version in CMakeLists.txt" >&2; exit 1; }
# Every time stored in the artefacts is the commit's.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export SOURCE_DATE_EPOCH

setup="gen_velmora-$version-setup.exe"
zip="gen_velmora-$version.zip"
artefacts="gen_velmora.dll $setup $zip"
# The new dist/ is written beside the old one (same file system, so the swap is two renames); any
# failure before the swap leaves the old one as it was.
work= next=
cleanup() {
    status=$?
    # Killed between the two renames: the old dist/ goes back.
    if [ -n "$next" ] && [ ! -e dist ] && [ -e "$next/old" ]; then mv "$next/old" dist; fi
    # Interrupted while testing: the test prefix's server and programs go too.
    if [ -d "$work/first/build/wineprefix" ]; then
        WINEPREFIX="$work/first/build/wineprefix" wineserver -k 2>/dev/null || true
    fi
    rm -rf "$work" "$next"
    [ $status -eq 0 ] || echo "release.sh: failed; dist/ left as it was" >&2
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-release.XXXXXX")
next=$(mktemp -d "$PWD/.dist-next.XXXXXX")

# The zip's files, under the names a Windows user opens with a double-click.
zipped="gen_velmora.dll README.txt LICENSE.txt CHANGELOG.txt"

crlf() { tr -d '\r' <"$1" | sed 's/$/\r/'; }

# build_once FOLDER: a clean build in FOLDER/build, the artefacts in FOLDER/out.
build_once() {
    build=$1/build out=$1/out stage=$1/stage
    mkdir -p "$out" "$stage"
    cmake --preset default -B "$build" >/dev/null
    cmake --build "$build" --target gen_velmora velmora_setup velmora_check_dll
    cp "$build/bin/gen_velmora.dll" "$build/bin/$setup" "$out/"
    # Fixed times, modes and order and no extra fields, so the same sources give the same zip.
    # The text files end their lines with CRLF: Notepad before Windows 10 1809 shows a file of
    # bare LFs as one line.
    cp "$build/bin/gen_velmora.dll" "$stage/"
    crlf docs/README-user.txt >"$stage/README.txt"
    crlf LICENSE >"$stage/LICENSE.txt"
    crlf CHANGELOG.md >"$stage/CHANGELOG.txt"
    (cd "$stage" && chmod 644 $zipped && touch -d "@$SOURCE_DATE_EPOCH" $zipped &&
     TZ=UTC zip -q -X "$out/$zip" $zipped)
    (cd "$out" && sha256sum $artefacts >SHA256SUMS)
}

# test_build FOLDER: the rest of FOLDER/build, and its tests of what ships (the DLL as loaded
# and checked, the setup and uninstaller, the demo player pressing every key) under Wine, in a
# prefix of its own.
test_build() {
    build=$1/build
    cmake --build "$build"
    prefix="$build/wineprefix"
    tools/wine-run.sh --preflight "$prefix"
    status=0
    ctest --test-dir "$build" --output-on-failure --no-tests=error \
          -R '^(WineBench|LoadedDll|Installer|DemoPlayer)\.' || status=$?
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
    [ $status -eq 0 ] || { echo "release.sh: tests failed (above)" >&2; exit 1; }
}

# Two folders at different depths, built one after the other: neither the path nor the time may
# show in the result.
build_once "$work/first"
test_build "$work/first"
build_once "$work/second/build-two"
if ! cmp -s "$work/first/out/SHA256SUMS" "$work/second/build-two/out/SHA256SUMS"; then
    echo "release.sh: NOT REPRODUCIBLE: two builds of the same sources differ" >&2
    diff "$work/first/out/SHA256SUMS" "$work/second/build-two/out/SHA256SUMS" >&2 || true
    for f in $artefacts; do
        cmp -l "$work/first/out/$f" "$work/second/build-two/out/$f" 2>&1 | head -n 5 | sed "s|^|  $f: |" >&2
    done
    exit 1
fi

mkdir "$next/dist"
(cd "$work/first/out" && cp $artefacts SHA256SUMS "$next/dist/")
# The same bytes come only from the same compilers, binutils, MinGW-w64 libraries and NSIS.
tools="g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
       nsis nsis-common cmake ninja-build zip"
# shellcheck disable=SC2086
dpkg-query -W -f='${Package} ${Version}\n' $tools >"$next/dist/build-tools.txt" \
    || { echo "release.sh: cannot read the versions of: $tools" >&2; exit 1; }

# Everything is there: swap the new dist/ in.
if [ -e dist ]; then mv dist "$next/old"; fi
mv "$next/dist" dist
echo "Two builds gave the same bytes (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH). dist/:"
(cd dist && ls -l | sed 1d && cat SHA256SUMS build-tools.txt)
