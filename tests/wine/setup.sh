#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR source-path=SCRIPTDIR/../../tools/wine
# Prepares one run of the end-to-end suite: the private locales and the
# template Wine prefix that every story copies.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../tools/wine/lib.sh"

[[ -n ${CARDINST_WORK:-} ]] || die "CARDINST_WORK must be set"
mkdir -p "$CARDINST_WORK"
trap cleanup EXIT
export WINEDEBUG=-all WINEDLLOVERRIDES='winemenubuilder.exe=d'

start=$SECONDS
build_locales "$CARDINST_WORK/locale"
log "locales ready in $((SECONDS - start)) s"

start_xvfb "$CARDINST_WORK"
template="$CARDINST_WORK/template"
rm -rf "$template"
export WINEPREFIX=$template
STORY_PREFIXES+=("$template")
limited 180 "$WINE64" wineboot -i >"$CARDINST_WORK/wineboot.log" 2>&1 ||
    die "wineboot failed (see $CARDINST_WORK/wineboot.log)"
# Without a window manager Wine stalls when a dialog closes unless its
# windows are unmanaged; a crash must end the program, not open a debugger.
wine_cmd reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null
wine_cmd reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
# The 32-bit program's stories need the prefix's 32-bit side.
status=0
wine_cmd 'C:\windows\syswow64\cmd.exe' /c exit 7 || status=$?
[[ $status -eq 7 ]] || die "the template prefix runs no 32-bit program (scripts/wine32.sh sets that up)"
limited 60 wineserver -w
[[ -d $template/drive_c ]] || die "wineboot made no prefix"
# The caption buttons need Wine's Marlett font.
bash "$here/../../tools/wine/fonts.sh" "$template" || die "cannot put the Marlett font into the template"
log "template prefix ready in $((SECONDS - start)) s"
