# Shell functions for the project's private Wine prefixes; sourced by wine-run.sh and
# screenshots.sh. Every failure says what failed and exits non-zero.

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# The one paragraph a broken Wine gets: what failed, Wine's own words, the likely cause and fix.
wine_failed() {   # what log-file
    echo "Wine preflight: $1 failed in $WINEPREFIX." >&2
    echo "Wine said:" >&2
    tail -n 8 "$2" | sed 's/^/    /' >&2
    if grep -q "Exec format error" "$2"; then
        echo "Likely cause: this kernel cannot execute 32-bit x86 programs, and qemu-i386-static is not" >&2
        echo "registered for them. Fix: run 'sh tools/setup-debian.sh' as root, which registers it." >&2
    elif ! command -v wine >/dev/null 2>&1; then
        echo "Likely cause: Wine is not installed. Fix: run 'sh tools/setup-debian.sh' as root." >&2
    else
        echo "Likely cause: missing 32-bit Wine packages or a damaged prefix. Fix: run" >&2
        echo "'sh tools/setup-debian.sh' as root, remove $WINEPREFIX and try again." >&2
    fi
    exit 1
}

# The ready marker holds the recipe's version: bump it whenever the recipe below changes, so that
# a prefix made by an older one gets the recipe again (every step is safe to repeat).
prefix_recipe=2

# One pass of the recipe in $WINEPREFIX; $1 as for make_prefix. Under emulation and load
# wineboot has been seen to crash half-way and leave the server waiting for ever: every wait is
# bounded, so such a pass fails instead of hanging.
run_prefix_recipe() {   # driver
    # An older prefix may have a persistent server, which "wineserver -w" below would wait for
    # for ever.
    { wineserver -k 2>/dev/null || true; } &&
    timeout 600 wineboot -i &&
    { [ -z "$1" ] || wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$1" /f; } &&
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f &&
    # A crash ends the program at once: no debugger, which under qemu may hang for ever.
    { wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f || true; } &&
    # Without a window manager, Wine draws the caption itself and closes windows at once.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f &&
    timeout 600 wineserver -w
}

# Creates the prefix on first use, once even when several callers start together. A pass that
# fails is tried once more in a new, empty prefix.
# $2: the graphics driver to set ("null" for display-less tests), or empty for Wine's default.
make_prefix() {   # prefix driver
    export WINEPREFIX="$1"
    marker="$WINEPREFIX/.velmora-ready"
    [ "$(cat "$marker" 2>/dev/null)" = "$prefix_recipe" ] && return 0
    mkdir -p "$WINEPREFIX"
    log="$WINEPREFIX.log"
    (
        flock 9
        [ "$(cat "$marker" 2>/dev/null)" = "$prefix_recipe" ] && exit 0
        if ! run_prefix_recipe "$2" >"$log" 2>&1 </dev/null; then
            echo "Wine prefix: the first pass failed; starting again in an empty prefix." >&2
            { wineserver -k || true; } >>"$log" 2>&1 </dev/null
            rm -rf "$WINEPREFIX" && mkdir -p "$WINEPREFIX" || exit 1
            run_prefix_recipe "$2" >>"$log" 2>&1 </dev/null || exit 1
        fi
        echo "$prefix_recipe" >"$marker"
    ) 9>"$WINEPREFIX.lock" || wine_failed "creating the prefix" "$log"
}

# Starts one trivial 32-bit program, so that a broken Wine is told apart from a failing test.
preflight() {
    log="$WINEPREFIX.log"
    out=$(wine cmd /c echo velmora-preflight 2>"$log" </dev/null) || true
    case "$out" in
        *velmora-preflight*) ;;
        *) echo "$out" >>"$log"; wine_failed "starting a 32-bit program (wine cmd /c echo)" "$log" ;;
    esac
}

# Runs a command with its output kept back, and shows that output only when the command fails.
quietly() {
    log=$(mktemp)
    if ! "$@" >"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        echo "failed: $*" >&2
        exit 1
    fi
    rm -f "$log"
}
