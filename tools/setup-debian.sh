#!/bin/sh
# Installs the Debian 12 packages the build and tests need, only when some are missing (as root).
set -eu
packages="g++-mingw-w64-i686 mingw-w64-i686-dev wine wine32:i386 xvfb xauth cmake ninja-build
          googletest nsis imagemagick zip"

missing=""
for p in $packages; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends $missing
