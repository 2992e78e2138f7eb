#!/bin/sh
# Builds the plug-in and its setup and writes a release into dist/: the DLL, the setup, a zip of
# the DLL and README, and SHA256SUMS. bash tools/release.sh   (VELMORA_BUILD_DIR: build folder)
set -eu
cd "$(dirname "$0")/.."
build=${VELMORA_BUILD_DIR:-build}
sh tools/setup-debian.sh
version=$(sed -n 's/^project(velmora VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "release.sh: no version in CMakeLists.txt" >&2; exit 1; }
cmake --preset default -B "$build" >/dev/null
cmake --build "$build" --target gen_velmora velmora_setup

setup="gen_velmora-$version-setup.exe"
zip="gen_velmora-$version.zip"
rm -rf dist
mkdir dist
cp "$build/bin/gen_velmora.dll" "$build/bin/$setup" dist/

# Fixed timestamps and no extra fields, so the same sources give the same zip.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$build/bin/gen_velmora.dll" README.md "$stage/"
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
touch -d "@$epoch" "$stage/gen_velmora.dll" "$stage/README.md"
(cd "$stage" && TZ=UTC zip -q -X "$OLDPWD/dist/$zip" gen_velmora.dll README.md)

(cd dist && sha256sum gen_velmora.dll "$setup" "$zip" >SHA256SUMS)
echo "dist/:"
(cd dist && ls -l | sed 1d)
