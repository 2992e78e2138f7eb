#!/bin/sh
# Builds the plug-in and its setup twice, in two fresh build folders at different paths, fails
# unless both builds give the same bytes or the DLL fails its check, and writes the release into
# dist/: the DLL, the setup, a zip of the DLL and README, SHA256SUMS, and the versions of the
# Debian packages that built it.   bash tools/release.sh
set -eu
cd "$(dirname "$0")/.."
sh tools/setup-debian.sh
version=$(sed -n 's/^project(velmora VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "release.sh: no version in CMakeLists.txt" >&2; exit 1; }
# Every time stored in the artefacts is the commit's.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export SOURCE_DATE_EPOCH
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "release.sh: warning: uncommitted changes; this is not a release of $(git rev-parse --short HEAD)" >&2
fi

setup="gen_velmora-$version-setup.exe"
zip="gen_velmora-$version.zip"
artefacts="gen_velmora.dll $setup $zip"
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-release.XXXXXX")
trap 'rm -rf "$work"' EXIT

# build_once FOLDER: a clean build in FOLDER/build, the artefacts in FOLDER/out.
build_once() {
    build=$1/build out=$1/out stage=$1/stage
    mkdir -p "$out" "$stage"
    cmake --preset default -B "$build" -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$build" --target gen_velmora velmora_setup velmora_check_dll
    cp "$build/bin/gen_velmora.dll" "$build/bin/$setup" "$out/"
    # Fixed times, modes and order and no extra fields, so the same sources give the same zip.
    cp "$build/bin/gen_velmora.dll" README.md "$stage/"
    chmod 644 "$stage/gen_velmora.dll" "$stage/README.md"
    touch -d "@$SOURCE_DATE_EPOCH" "$stage/gen_velmora.dll" "$stage/README.md"
    (cd "$stage" && TZ=UTC zip -q -X "$out/$zip" gen_velmora.dll README.md)
    (cd "$out" && sha256sum $artefacts >SHA256SUMS)
}

# Two folders at different depths, built one after the other: neither the path nor the time may
# show in the result.
build_once "$work/first"
build_once "$work/second/build-two"
if ! cmp -s "$work/first/out/SHA256SUMS" "$work/second/build-two/out/SHA256SUMS"; then
    echo "release.sh: NOT REPRODUCIBLE: two builds of the same sources differ" >&2
    diff "$work/first/out/SHA256SUMS" "$work/second/build-two/out/SHA256SUMS" >&2 || true
    for f in $artefacts; do
        cmp -l "$work/first/out/$f" "$work/second/build-two/out/$f" 2>&1 | head -n 5 | sed "s|^|  $f: |" >&2
    done
    exit 1
fi

rm -rf dist
mkdir dist
(cd "$work/first/out" && cp $artefacts SHA256SUMS "$OLDPWD/dist/")
# The same bytes come only from the same compilers, binutils, MinGW-w64 libraries and NSIS.
tools="g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
       nsis nsis-common cmake ninja-build zip"
# shellcheck disable=SC2086
dpkg-query -W -f='${Package} ${Version}\n' $tools >dist/build-tools.txt \
    || { echo "release.sh: cannot read the versions of: $tools" >&2; exit 1; }
echo "Two builds gave the same bytes (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH). dist/:"
(cd dist && ls -l | sed 1d && cat SHA256SUMS build-tools.txt)
