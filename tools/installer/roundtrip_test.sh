#!/bin/sh
# Runs the setup silently under Wine against a fake Winamp folder named by the registry, then the
# uninstaller, and checks what each left behind:
#   keep-settings    setups into two Winamp folders; the first one's uninstaller, started from
#                    its own file, keeps the entry that names the second; the stored quiet
#                    command uninstalls the second
#   remove-settings  the stored quiet command with /REMOVESETTINGS, first while another program
#                    holds the DLL (it must fail and say so), then for real
#   refusals         a silent setup that cannot install (no winamp.exe, the DLL or the
#                    uninstaller not writable) fails and leaves everything as it was, including
#                    an earlier install it was to replace
# Restores every registry value and removes every folder it made, whatever the outcome.
#   roundtrip_test.sh WINE_RUN PREFIX SETUP DLL keep-settings|remove-settings|refusals
set -u
wine_run=$1 prefix=$2 setup=$3 dll=$4 mode=$5
export WINEPREFIX="$prefix" WINEDEBUG=-all

wine_reg() { "$wine_run" "$prefix" reg "$@" >/dev/null 2>&1 </dev/null; }
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
fail() { echo "FAILED: $*"; status=1; }

winamp_key='HKCU\Software\Winamp'
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora'
settings_key='HKCU\SOFTWARE\Dravnik\Velmora'

holder=
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-setup-test.XXXXXX")
status=0
# What was there before, put back at the end: Winamp's folder record and the settings key.
wine_reg export "$winamp_key" "$(winpath "$work/winamp.reg")" /y || rm -f "$work/winamp.reg"
wine_reg export 'HKCU\SOFTWARE\Dravnik' "$(winpath "$work/dravnik.reg")" /y || rm -f "$work/dravnik.reg"
restore() {
    [ -n "$holder" ] && kill "$holder" 2>/dev/null && wait "$holder" 2>/dev/null
    if [ -f "$work/winamp.reg" ]; then wine_reg delete "$winamp_key" /ve /f
    else wine_reg delete "$winamp_key" /f; fi
    wine_reg delete "$uninstall_key" /f
    wine_reg delete 'HKCU\SOFTWARE\Dravnik' /f
    [ -f "$work/winamp.reg" ] && wine_reg import "$(winpath "$work/winamp.reg")"
    [ -f "$work/dravnik.reg" ] && wine_reg import "$(winpath "$work/dravnik.reg")"
    rm -rf "$work"
}
trap restore EXIT

winamp="$work/Winamp"
mkdir -p "$winamp"
: >"$winamp/winamp.exe"
wine_reg add "$winamp_key" /ve /d "$(winpath "$winamp")" /f
wine_reg add "$settings_key" /v Key_VolUp /t REG_DWORD /d 1 /f

plugins="$winamp/Plugins"

# Its values, or Wine's words for a missing key.
entry() { "$wine_run" "$prefix" reg query "$uninstall_key" 2>&1 </dev/null | tr -d '\r'; }
stored() { entry | sed -n "s/^ *$1 *REG_SZ *//p"; }

# wait_gone FILE: an uninstaller cannot delete its own running file; a copy of it does that after
# it has ended.
wait_gone() {
    tries=0
    while [ -e "$1" ] && [ $tries -lt 600 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
    [ ! -e "$1" ]
}

# uninstall_stored [SWITCH...]: the entry's quiet uninstall command, run as a deployment tool runs
# it, with SWITCHes added before "_?=", which takes the rest of the line.
uninstall_stored() {
    command=$(stored QuietUninstallString)
    [ -n "$command" ] || { fail "no quiet uninstall command stored"; return 1; }
    exe=${command#\"} exe=${exe%%\"*} args=${command#\"*\"}
    # shellcheck disable=SC2086   # the stored switches, split as Windows splits them
    case $args in
        *'_?='*) set -- ${args%%_\?=*} "$@" "_?=${args#*_\?=}" ;;
        *) set -- $args "$@" ;;
    esac
    "$wine_run" "$prefix" "$exe" "$@" </dev/null >/dev/null 2>&1
}

# install [ARG...]: a silent setup that must succeed.
install() {
    "$wine_run" "$prefix" "$setup" /S "$@" </dev/null >/dev/null 2>&1 || fail "setup $* exited with $?"
}

# uninstalled FOLDER: FOLDER's Plugins holds nothing of ours, after its uninstaller has gone.
uninstalled() {
    wait_gone "$1/Plugins/gen_velmora-uninstall.exe" || fail "uninstaller left behind in $1"
    [ -z "$(ls -A "$1/Plugins")" ] || fail "Plugins not left as found: $(ls -A "$1/Plugins")"
}

# The folder, its files' bytes and the Add/Remove Programs entry.
snapshot() {
    find "$1" | sort
    find "$1" -type f -exec cksum {} + | sort
    entry
}

# refused WHY FOLDER ARG...: the setup run with ARG... must stop with exit 2 (a silent setup's
# "aborted") and leave FOLDER and the entry as they were.
refused() {
    why=$1 folder=$2 before=$(snapshot "$2")
    shift 2
    "$wine_run" "$prefix" "$setup" "$@" </dev/null >/dev/null 2>&1
    code=$?
    [ $code -eq 2 ] || fail "$why: setup exited with $code, not 2"
    [ "$(snapshot "$folder")" = "$before" ] || fail "$why: changed: $(snapshot "$folder")"
}
if [ "$mode" = refusals ]; then
    mkdir "$work/NoWinamp"
    refused "a folder without winamp.exe" "$work/NoWinamp" /S "/D=$(winpath "$work/NoWinamp")"
    mkdir -p "$plugins/gen_velmora.dll"   # not a file: the DLL cannot be written
    refused "a DLL it cannot write" "$winamp" /S
    rmdir "$plugins/gen_velmora.dll"
    mkdir "$plugins/gen_velmora-uninstall.exe"   # the uninstaller cannot be written
    refused "an uninstaller it cannot write" "$winamp" /S
    # An upgrade that fails keeps the earlier install, its own DLL and entry, working.
    rmdir "$plugins/gen_velmora-uninstall.exe"
    install
    printf 'an earlier build' >>"$plugins/gen_velmora.dll"
    wine_reg add "$uninstall_key" /v DisplayVersion /d 1.9.0.0 /f
    rm "$plugins/gen_velmora-uninstall.exe"
    mkdir "$plugins/gen_velmora-uninstall.exe"
    refused "an upgrade that cannot write its uninstaller" "$winamp" /S
    [ $status -eq 0 ] && echo "silent setup refused all four and kept the earlier install"
    exit $status
fi

install
cmp -s "$dll" "$plugins/gen_velmora.dll" || fail "installed DLL differs from the built one"
[ -f "$plugins/gen_velmora-uninstall.exe" ] || fail "no uninstaller in Plugins"
case "$(stored QuietUninstallString)" in
    *'\Plugins\gen_velmora-uninstall.exe" /S'*) ;;
    *) fail "Add/Remove Programs entry missing or wrong: '$(stored QuietUninstallString)'" ;;
esac
[ -n "$(stored DisplayIcon)" ] && [ -n "$(stored URLInfoAbout)" ] || fail "entry without icon or homepage"

if [ "$mode" = keep-settings ]; then
    # A second Winamp folder takes the entry; the first one's uninstaller, started from its own
    # file as from Explorer, copies itself away and returns at once: wait for its work.
    second="$work/Winamp2"
    mkdir "$second"
    : >"$second/winamp.exe"
    install "/D=$(winpath "$second")"
    "$wine_run" "$prefix" "$(winpath "$plugins/gen_velmora-uninstall.exe")" /S </dev/null >/dev/null 2>&1 \
        || fail "uninstaller exited with $?"
    uninstalled "$winamp"
    [ "$(stored InstallLocation)" = "$(winpath "$second/Plugins")" ] \
        || fail "the first folder's uninstaller took the second folder's entry: '$(entry)'"
    plugins="$second/Plugins" winamp=$second
    uninstall_stored || fail "stored uninstall exited with $?"
else
    # Another program holds the DLL: the stored command must not report success for nothing.
    holder_exe="$(dirname "$dll")/velmora_demo.exe"
    cp "$holder_exe" "$plugins/" || fail "no $holder_exe to hold the DLL"
    "$wine_run" "$prefix" "$plugins/velmora_demo.exe" --interactive </dev/null >/dev/null 2>&1 &
    holder=$!
    tries=0
    until grep -q gen_velmora.dll "/proc/$holder/maps" 2>/dev/null || [ $tries -ge 600 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
    [ $tries -lt 600 ] || fail "the demo player never loaded the DLL"
    uninstall_stored /REMOVESETTINGS
    code=$?
    if [ $code -eq 0 ]; then
        [ ! -e "$plugins/gen_velmora.dll" ] || fail "uninstall exited 0 while the DLL was held and still installed"
    else
        [ -f "$plugins/gen_velmora.dll" ] && [ -f "$plugins/gen_velmora-uninstall.exe" ] && wine_reg query "$uninstall_key" \
            || fail "a failed uninstall (exit $code) did not leave the install as it was"
    fi
    kill "$holder" && wait "$holder" 2>/dev/null
    holder=
    rm -f "$plugins/velmora_demo.exe"
    uninstall_stored /REMOVESETTINGS || fail "stored uninstall exited with $?"
fi

# Run in place, the uninstaller has done all but its own file when it exits.
[ ! -e "$plugins/gen_velmora.dll" ] || fail "DLL still installed after uninstall"
wine_reg query "$uninstall_key" && fail "Add/Remove Programs entry left behind"
uninstalled "$winamp"
if [ "$mode" = remove-settings ]; then
    wine_reg query "$settings_key" && fail "settings kept despite /REMOVESETTINGS"
else
    wine_reg query "$settings_key" /v Key_VolUp || fail "settings removed without being asked"
fi
[ $status -eq 0 ] && echo "setup round trip ($mode) passed"
exit $status
