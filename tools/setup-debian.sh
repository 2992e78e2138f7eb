#!/bin/sh
# Makes a Debian 12 x86-64 machine ready to build and test: installs the packages that are
# missing and makes sure 32-bit x86 programs, and so 32-bit Wine, can run. On a kernel that
# cannot execute i386 programs it registers Debian's qemu-user-static for them in binfmt_misc.
# Root is needed only for what it has to change; on a machine already set up anyone can run it.
#   sh tools/setup-debian.sh [--desktop]
set -eu

fail() {
    echo "setup-debian.sh: $*" >&2
    exit 1
}

need_root() {
    [ "$(id -u)" = 0 ] || fail "$1; that needs root: run it again with sudo or as root."
}

# Automatic updates at boot hold the package manager's locks for minutes: wait up to 10 minutes.
# apt-get install waits by itself; apt-get update fails at once on a held lock, so it is retried.
# A mirror caught mid-sync serves an index that does not match its release file: that is tried
# again a few times, and if one index still cannot be had the install goes ahead with the lists
# it has, and fails loudly itself if a package cannot be resolved without it.
lock_wait=600
mirror_tries=4
update_package_lists() {
    log=$(mktemp)
    waited=0
    tries=1
    until LC_ALL=C apt-get update -q 2>"$log"; do   # C: the messages below in any locale
        if grep -q "Could not get lock" "$log" && [ $waited -lt $lock_wait ]; then
            [ $waited -gt 0 ] || echo "Waiting for another package manager to finish (up to $lock_wait s)..."
            sleep 5
            waited=$((waited + 5))
        elif grep -q -E "Mirror sync in progress|Hash Sum mismatch|unexpected size|Temporary failure|Could not connect|Connection failed|timed out" "$log" \
             && [ $tries -lt $mirror_tries ]; then
            echo "apt-get update: the mirror answered inconsistently; trying again in 20 s ($tries of $((mirror_tries - 1)))..."
            sleep 20
            tries=$((tries + 1))
        elif grep -q "Some index files failed to download" "$log" && ! grep -q "Could not get lock" "$log"; then
            echo "setup-debian.sh: warning: some package lists could not be updated (see below); installing with the lists at hand." >&2
            break
        else
            cat "$log" >&2
            rm -f "$log"
            fail "apt-get update failed (see above)."
        fi
    done
    cat "$log" >&2   # its warnings
    rm -f "$log"
}

# wine32-preloader is named on its own: --no-install-recommends leaves it out, and without it
# every Wine start under emulation costs about 50 s.
packages="g++-mingw-w64-i686 mingw-w64-i686-dev wine wine32:i386 wine32-preloader:i386 xvfb xauth
          cmake ninja-build googletest nsis imagemagick zip clang lld"
# --desktop (the interactive demo, screenshots): a font with Japanese, Thai, Hebrew and Greek, so
# the demo's titles show as text on a real display (Wine finds it through fontconfig).
[ "${1:-}" != --desktop ] || packages="$packages fonts-unifont"

install_missing() {
    missing=""
    for p in "$@"; do
        status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
        [ "$status" = "install ok installed" ] || missing="$missing $p"
    done
    [ -n "$missing" ] || return 0
    need_root "missing Debian packages:$missing"
    echo "Installing:$missing"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    export DEBIAN_FRONTEND=noninteractive
    update_package_lists
    # shellcheck disable=SC2086
    apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=$lock_wait $missing \
        || fail "could not install:$missing (if apt-get update warned of a mirror in sync above, try again later)"
}

install_missing $packages

# Any i386 ELF program will do; the dynamic loader of libc6:i386 (a wine32 dependency) is one.
runs_i386() {
    /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

if ! runs_i386; then
    need_root "this kernel cannot run 32-bit x86 programs without qemu-i386-static in binfmt_misc"
    install_missing qemu-user-static
    binfmt=/proc/sys/fs/binfmt_misc
    if [ ! -e "$binfmt/register" ]; then
        mount -t binfmt_misc binfmt_misc "$binfmt" || fail "cannot mount binfmt_misc at $binfmt."
    fi
    if [ ! -e "$binfmt/qemu-i386" ]; then
        # F: the kernel opens the interpreter now, so it is found in any mount namespace later.
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
            >"$binfmt/register" || fail "cannot register qemu-i386-static in $binfmt."
    elif [ "$(head -n1 "$binfmt/qemu-i386")" != enabled ]; then
        echo 1 >"$binfmt/qemu-i386" || fail "cannot enable $binfmt/qemu-i386."
    fi
    runs_i386 || fail "this kernel cannot run 32-bit x86 programs, even through qemu-i386-static.
$(/lib/ld-linux.so.2 --version 2>&1 | head -n 3)"
    echo "This kernel cannot run 32-bit x86 programs: they run under qemu-i386-static (binfmt_misc)."
fi
