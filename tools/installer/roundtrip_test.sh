#!/bin/sh
# Runs the setup silently under Wine against a fake Winamp folder named by the registry, then the
# uninstaller, and checks what each left behind; or (refusals) checks that a silent setup which
# cannot install (no winamp.exe, the DLL or the uninstaller not writable) fails and leaves nothing
# behind. Restores every registry value and removes every
# folder it made, whatever the outcome.
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

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-setup-test.XXXXXX")
status=0
# What was there before, put back at the end: Winamp's folder record and the settings key.
wine_reg export "$winamp_key" "$(winpath "$work/winamp.reg")" /y || rm -f "$work/winamp.reg"
wine_reg export 'HKCU\SOFTWARE\Dravnik' "$(winpath "$work/dravnik.reg")" /y || rm -f "$work/dravnik.reg"
restore() {
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

# refused WHY FOLDER ARG...: the setup run with ARG... must stop with exit 2 (a silent setup's
# "aborted") and leave FOLDER as it was.
refused() {
    why=$1 folder=$2 before=$(ls -AR "$2")
    shift 2
    "$wine_run" "$prefix" "$setup" "$@" </dev/null >/dev/null 2>&1
    code=$?
    [ $code -eq 2 ] || fail "$why: setup exited with $code, not 2"
    [ "$(ls -AR "$folder")" = "$before" ] || fail "$why: left behind: $(ls -AR "$folder")"
    wine_reg query "$uninstall_key" && fail "$why: Add/Remove Programs entry written"
    wine_reg delete "$uninstall_key" /f
}
if [ "$mode" = refusals ]; then
    mkdir "$work/NoWinamp"
    refused "a folder without winamp.exe" "$work/NoWinamp" /S "/D=$(winpath "$work/NoWinamp")"
    mkdir -p "$winamp/Plugins/gen_velmora.dll"   # not a file: the DLL cannot be written
    refused "a DLL it cannot write" "$winamp" /S
    rmdir "$winamp/Plugins/gen_velmora.dll"
    mkdir "$winamp/Plugins/gen_velmora-uninstall.exe"   # the uninstaller cannot be written
    refused "an uninstaller it cannot write" "$winamp" /S
    [ $status -eq 0 ] && echo "silent setup refused all three"
    exit $status
fi

"$wine_run" "$prefix" "$setup" /S </dev/null >/dev/null 2>&1 || fail "setup exited with $?"
cmp -s "$dll" "$winamp/Plugins/gen_velmora.dll" || fail "installed DLL differs from the built one"
[ -f "$winamp/Plugins/gen_velmora-uninstall.exe" ] || fail "no uninstaller in Plugins"
uninstall=$("$wine_run" "$prefix" reg query "$uninstall_key" /v QuietUninstallString 2>/dev/null \
            </dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
case "$uninstall" in
    *'\Plugins\gen_velmora-uninstall.exe" /S') ;;
    *) fail "Add/Remove Programs entry missing or wrong: '$uninstall'" ;;
esac

uninstaller="$(winpath "$winamp/Plugins/gen_velmora-uninstall.exe")"
if [ "$mode" = keep-settings ]; then
    # In place (_?=) the uninstaller runs to the end before it exits, but cannot delete itself.
    "$wine_run" "$prefix" "$uninstaller" /S "_?=$(winpath "$winamp/Plugins")" \
        </dev/null >/dev/null 2>&1 || fail "uninstaller exited with $?"
    rm -f "$winamp/Plugins/gen_velmora-uninstall.exe"
else
    # As Add/Remove Programs starts it: it copies itself away, passes the switch on and returns
    # at once, so wait (bounded) for its work to show.
    "$wine_run" "$prefix" "$uninstaller" /S /REMOVESETTINGS </dev/null >/dev/null 2>&1 \
        || fail "uninstaller exited with $?"
    tries=0
    while [ -e "$winamp/Plugins/gen_velmora-uninstall.exe" ] && [ $tries -lt 300 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
fi

[ ! -e "$winamp/Plugins/gen_velmora.dll" ] || fail "DLL still installed after uninstall"
[ ! -e "$winamp/Plugins/gen_velmora-uninstall.exe" ] || fail "uninstaller left behind"
[ -z "$(ls -A "$winamp/Plugins")" ] || fail "Plugins not left as found: $(ls -A "$winamp/Plugins")"
wine_reg query "$uninstall_key" && fail "Add/Remove Programs entry left behind"
if [ "$mode" = remove-settings ]; then
    wine_reg query "$settings_key" && fail "settings kept despite /REMOVESETTINGS"
else
    wine_reg query "$settings_key" /v Key_VolUp || fail "settings removed without being asked"
fi
[ $status -eq 0 ] && echo "setup round trip ($mode) passed"
exit $status
