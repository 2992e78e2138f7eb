#!/bin/sh
# Runs the setup silently under Wine against a fake Winamp folder named by the registry, whose
# path has a space and letters of three scripts, then the uninstaller, and checks what each left
# behind:
#   keep-settings    setups into two Winamp folders, each with its own entry, the commands they
#                    store and the elevation their manifests ask for; the first one's uninstaller,
#                    started from its own file, keeps the second's entry; the stored quiet command
#                    uninstalls the second
#   remove-settings  the stored quiet command with /REMOVESETTINGS, first while another program
#                    holds the DLL (it must fail and say so), then for real
#   refusals         a silent setup that cannot install (no winamp.exe, the DLL or the
#                    uninstaller not writable) fails and leaves everything as it was, including
#                    an earlier install it was to replace, letter for letter; a stored command
#                    with " /S" appended fails and changes nothing, or uninstalls wholly
# The entry is read from whichever hive the setup chose (HKLM when it counts as elevated, as
# under Wine), which must be the same every time.
# Restores every registry value and removes every folder it made, whatever the outcome.
#   roundtrip_test.sh WINE_RUN PREFIX SETUP DLL keep-settings|remove-settings|refusals
set -u
wine_run=$1 prefix=$2 setup=$3 dll=$4 mode=$5
# Wine reads file names and arguments in the locale's character set: these need UTF-8.
export WINEPREFIX="$prefix" WINEDEBUG=-all LC_ALL=C.UTF-8

wine_reg() { "$wine_run" "$prefix" reg "$@" >/dev/null 2>&1 </dev/null; }
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
fail() { printf 'FAILED: %s\n' "$*"; status=1; }

winamp_key='HKCU\Software\Winamp'
uninstall_root='Software\Microsoft\Windows\CurrentVersion\Uninstall'
settings_key='HKCU\SOFTWARE\Dravnik\Velmora'

holder=
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-setup-test.XXXXXX")
status=0

# entries: every Velmora entry in either hive, letter for letter (reg query prints letters outside
# the console's code page as "?"; reg export writes UTF-16).
entries() {
    for root in HKEY_LOCAL_MACHINE HKEY_CURRENT_USER; do
        wine_reg export "$root\\$uninstall_root" "$(winpath "$work/entries.reg")" /y &&
            iconv -f UTF-16 -t UTF-8 "$work/entries.reg" | tr -d '\r' |
            awk '/^\[/ { ours = index($0, "\\Uninstall\\Velmora") } ours && NF'
    done
}

# What was there before, put back at the end: Winamp's folder record and the settings key.
wine_reg export "$winamp_key" "$(winpath "$work/winamp.reg")" /y || rm -f "$work/winamp.reg"
wine_reg export 'HKCU\SOFTWARE\Dravnik' "$(winpath "$work/dravnik.reg")" /y || rm -f "$work/dravnik.reg"
restore() {
    [ -n "$holder" ] && kill "$holder" 2>/dev/null && wait "$holder" 2>/dev/null
    if [ -f "$work/winamp.reg" ]; then wine_reg delete "$winamp_key" /ve /f
    else wine_reg delete "$winamp_key" /f; fi
    for key in $(entries | sed -n 's/^\[\(.*\)\]$/\1/p'); do wine_reg delete "$key" /f; done
    wine_reg delete 'HKCU\SOFTWARE\Dravnik' /f
    [ -f "$work/winamp.reg" ] && wine_reg import "$(winpath "$work/winamp.reg")"
    [ -f "$work/dravnik.reg" ] && wine_reg import "$(winpath "$work/dravnik.reg")"
    rm -rf "$work"
}
trap restore EXIT

winamp="$work/Win amp Ü 音楽 ไทย"
mkdir -p "$winamp"
: >"$winamp/winamp.exe"
wine_reg add "$winamp_key" /ve /d "$(winpath "$winamp")" /f
wine_reg add "$settings_key" /v Key_VolUp /t REG_DWORD /d 1 /f

plugins="$winamp/Plugins"

# entry_of FOLDER: the entry that names FOLDER's Plugins folder.
entry_of() {
    entries | want="\"InstallLocation\"=\"$(winpath "$1/Plugins" | sed 's/\\/\\\\/g')\"" awk '
        /^\[/ { if (found) exit; section = "" }
        { section = section $0 "\n" }
        $0 == ENVIRON["want"] { found = 1 }
        END { if (found) printf "%s", section }'
}
# stored NAME [FOLDER]: the value NAME of FOLDER's entry (default: the first Winamp folder's).
stored() {
    entry_of "${2:-$winamp}" | sed -n "s/^\"$1\"=\"\(.*\)\"\$/\1/p" | sed 's/\\\(.\)/\1/g'
}
# Every entry in the hive the first one was found in.
hive=
same_hive() {
    hives=$(entries | sed -n 's/^\[\([A-Z_]*\)\\.*/\1/p' | sort -u)
    [ -n "$hive" ] || { hive=$hives; echo "the setup registered under $hive"; }
    [ "$hives" = "$hive" ] || fail "entries under '$hives', not under $hive alone"
}

# run LINE: a command line as Windows runs it. Wine quotes an argument that holds a space, so the
# line goes in as its words, which Wine joins with one space again.
run() {
    exe=${1#\"} exe=${exe%%\"*} line=${1#\"*\"}
    set -f
    # shellcheck disable=SC2086
    set -- $line
    set +f
    "$wine_run" "$prefix" "$exe" "$@" </dev/null >/dev/null 2>&1
}

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
    run "${command%% _\?=*} $* _?=${command#* _\?=}"
}

# install [ARG...]: a silent setup that must succeed, its entry in the hive of the first.
install() {
    run "\"$(winpath "$setup")\" /S $*" || fail "setup $* exited with $?"
    same_hive
}

# uninstalled FOLDER: FOLDER's Plugins holds nothing of ours, after its uninstaller has gone.
uninstalled() {
    wait_gone "$1/Plugins/gen_velmora-uninstall.exe" || fail "uninstaller left behind in $1"
    [ -z "$(ls -A "$1/Plugins")" ] || fail "Plugins not left as found: $(ls -A "$1/Plugins")"
}

# The folder, its files' bytes and every entry, each value letter for letter.
snapshot() {
    find "$1" | sort
    find "$1" -type f -exec cksum {} + | sort
    entries
}

# refused WHY FOLDER LINE: LINE (a setup, or a stored command) must stop with exit 2 (silent:
# "aborted") and leave FOLDER and the entries as they were.
refused() {
    before=$(snapshot "$2")
    run "$3"
    code=$?
    [ $code -eq 2 ] || fail "$1: exited with $code, not 2"
    [ "$(snapshot "$2")" = "$before" ] || fail "$1: changed: $(snapshot "$2")"
}

# asks_highest EXE: the manifest in EXE's resources asks for the highest level the user has (an
# administrator is asked to elevate, anyone else runs as themselves).
asks_highest() {
    i686-w64-mingw32-windres -i "$1" -O res -o "$work/manifest.res" \
        && grep -q -a 'requestedExecutionLevel level="highestAvailable"' "$work/manifest.res" \
        || fail "$1 does not ask for the highest level: $(grep -a -o 'requestedExecutionLevel[^/]*' "$work/manifest.res")"
}

if [ "$mode" = refusals ]; then
    setup_line="\"$(winpath "$setup")\" /S"
    nowinamp="$work/No winamp Ü 音楽 ไทย"
    mkdir "$nowinamp"
    refused "a folder without winamp.exe" "$nowinamp" "$setup_line /D=$(winpath "$nowinamp")"
    mkdir -p "$plugins/gen_velmora.dll"   # not a file: the DLL cannot be written
    refused "a DLL it cannot write" "$winamp" "$setup_line"
    rmdir "$plugins/gen_velmora.dll"
    mkdir "$plugins/gen_velmora-uninstall.exe"   # the uninstaller cannot be written
    refused "an uninstaller it cannot write" "$winamp" "$setup_line"
    # An upgrade that fails keeps the earlier install, its own DLL and entry, working.
    rmdir "$plugins/gen_velmora-uninstall.exe"
    install
    printf 'an earlier build' >>"$plugins/gen_velmora.dll"
    key=$(entries | sed -n 's/^\[\(.*\)\]$/\1/p')
    wine_reg add "$key" /v DisplayVersion /d 1.9.0.0 /f || fail "no entry to change: '$key'"
    mv "$plugins/gen_velmora-uninstall.exe" "$work/"
    mkdir "$plugins/gen_velmora-uninstall.exe"
    refused "an upgrade that cannot write its uninstaller" "$winamp" "$setup_line"
    rmdir "$plugins/gen_velmora-uninstall.exe"
    mv "$work/gen_velmora-uninstall.exe" "$plugins/"   # the earlier install, whole again
    # A tool appends " /S" to a stored command: the quiet one then names a folder that holds no
    # uninstaller ("_?=...\Plugins /S"); the plain one may also uninstall, wholly.
    refused "the stored quiet command with /S appended" "$winamp" "$(stored QuietUninstallString) /S"
    before=$(snapshot "$winamp")
    run "$(stored UninstallString) /S"
    code=$?
    if [ $code -eq 0 ]; then
        uninstalled "$winamp"
        [ -z "$(entries)" ] || fail "the stored command with /S appended exited 0 and left: $(entries)"
    else
        [ "$(snapshot "$winamp")" = "$before" ] \
            || fail "the stored command with /S appended exited with $code and changed: $(snapshot "$winamp")"
    fi
    [ $status -eq 0 ] && echo "silent setup refused all four and kept the earlier install; the stored commands with /S appended did all or nothing"
    exit $status
fi

install
cmp -s "$dll" "$plugins/gen_velmora.dll" || fail "installed DLL differs from the built one"
[ -f "$plugins/gen_velmora-uninstall.exe" ] || fail "no uninstaller in Plugins"
uninstaller="$(winpath "$plugins")\\gen_velmora-uninstall.exe"
[ "$(stored UninstallString)" = "\"$uninstaller\"" ] \
    || fail "UninstallString is not the plain quoted path: '$(stored UninstallString)'"
[ "$(stored QuietUninstallString)" = "\"$uninstaller\" /S _?=$(winpath "$plugins")" ] \
    || fail "QuietUninstallString wrong: '$(stored QuietUninstallString)'"
[ -n "$(stored DisplayIcon)" ] && [ -n "$(stored URLInfoAbout)" ] || fail "entry without icon or homepage"

if [ "$mode" = keep-settings ]; then
    asks_highest "$setup"
    asks_highest "$plugins/gen_velmora-uninstall.exe"
    # A second Winamp folder gets an entry of its own; the first one's uninstaller, started from
    # its own file as from Explorer, copies itself away and returns at once: wait for its work.
    second="$work/Win amp 2 Ü 音楽 ไทย"
    mkdir "$second"
    : >"$second/winamp.exe"
    install "/D=$(winpath "$second")"
    [ -n "$(entry_of "$winamp")" ] && [ -n "$(stored InstallLocation "$second")" ] \
        || fail "not one entry per folder: $(entries)"
    run "\"$uninstaller\" /S" || fail "uninstaller exited with $?"
    uninstalled "$winamp"
    [ -z "$(entry_of "$winamp")" ] || fail "the first folder's entry left behind: $(entry_of "$winamp")"
    [ -n "$(entry_of "$second")" ] || fail "the first folder's uninstaller took the second folder's entry"
    plugins="$second/Plugins" winamp=$second
    uninstall_stored || fail "stored uninstall exited with $?"
else
    # Another program holds the DLL: the stored command must not report success for nothing.
    # The demo loads the DLL beside it by an ANSI path: it runs in a folder of its own, the DLL
    # there a link to the installed one.
    holder_exe="$(dirname "$dll")/velmora_demo.exe"
    mkdir "$work/holder"
    cp "$holder_exe" "$work/holder/" || fail "no $holder_exe to hold the DLL"
    ln -s "$plugins/gen_velmora.dll" "$work/holder/"
    "$wine_run" "$prefix" "$work/holder/velmora_demo.exe" --interactive </dev/null >/dev/null 2>&1 &
    holder=$!
    tries=0
    until grep -q gen_velmora.dll "/proc/$holder/maps" 2>/dev/null || [ $tries -ge 600 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
    [ $tries -lt 600 ] || fail "the demo player never loaded the DLL"
    before=$(snapshot "$winamp")
    uninstall_stored /REMOVESETTINGS
    code=$?
    if [ $code -eq 0 ]; then
        [ ! -e "$plugins/gen_velmora.dll" ] || fail "uninstall exited 0 while the DLL was held and still installed"
    else
        [ "$(snapshot "$winamp")" = "$before" ] \
            || fail "a failed uninstall (exit $code) did not leave the install as it was"
    fi
    kill "$holder" && wait "$holder" 2>/dev/null
    holder=
    uninstall_stored /REMOVESETTINGS || fail "stored uninstall exited with $?"
fi

# Run in place, the uninstaller has done all but its own file when it exits.
[ ! -e "$plugins/gen_velmora.dll" ] || fail "DLL still installed after uninstall"
[ -z "$(entries)" ] || fail "Add/Remove Programs entry left behind: $(entries)"
uninstalled "$winamp"
if [ "$mode" = remove-settings ]; then
    wine_reg query "$settings_key" && fail "settings kept despite /REMOVESETTINGS"
else
    wine_reg query "$settings_key" /v Key_VolUp || fail "settings removed without being asked"
fi
[ $status -eq 0 ] && echo "setup round trip ($mode) passed"
exit $status
