#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# Both builds of cardinst.exe are Windows GUI programs of their machine type
# that import from the four system libraries and nothing else.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"

[[ -n ${CARDINST_EXE:-} && -n ${CARDINST_EXE32:-} ]] || die "CARDINST_EXE and CARDINST_EXE32 must be set"

expected=$'ADVAPI32.dll\nKERNEL32.dll\nUSER32.dll\nmsvcrt.dll'

check() {
    local exe=$1 tool=$2 format=$3 dump imports
    dump=$("$tool" -p "$exe") || die "$tool cannot read $exe"
    grep -q "file format $format\$" <<<"$dump" || die "$exe is not $format"
    # Subsystem 2 is the Windows GUI.
    grep -Eq '^Subsystem[[:space:]]+0+2[[:space:]]' <<<"$dump" || die "$exe is not a GUI program"
    imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | LC_ALL=C sort -u)
    if [[ $imports != "$expected" ]]; then
        printf 'imports of %s:\n%s\n' "$exe" "$imports" >&2
        die "$exe imports other libraries than kernel32, user32, advapi32 and msvcrt"
    fi
    log "$exe: $format, GUI, imports $(tr '\n' ' ' <<<"$imports")"
}

check "$CARDINST_EXE" x86_64-w64-mingw32-objdump pei-x86-64
check "$CARDINST_EXE32" i686-w64-mingw32-objdump pei-i386
log "PASS"
