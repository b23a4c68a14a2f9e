#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# The resources of both builds, read through the system's resource loader
# under Wine: strings 1 to 28 and dialogs 101, 102, 103, 104 and 108 in
# English (0x409) and French (0x40C), the version data in French only.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"

[[ -n ${CARDINST_EXE32:-} ]] || die "CARDINST_EXE32 must be set"
begin_story check-resources

quoted_path() {
    winpath "$1" | sed 's/\\/\\\\/g'
}

for bits in 64 32; do
    exe=${CARDINST_EXE:?}
    [[ $bits == 64 ]] || exe=$CARDINST_EXE32
    printf 'resources "%s"\n' "$(quoted_path "$exe")" | drive_script "resources-$bits"
    out="$STORY_DIR/resources-$bits.txt"

    grep '^resource ' "$out" >"$STORY_DIR/kinds-$bits.txt"
    expect_table "kinds-$bits" "$STORY_DIR/kinds-$bits.txt" <<'KINDS'
resource string 1 0x0409
resource string 1 0x040c
resource string 2 0x0409
resource string 2 0x040c
resource dialog 101 0x0409
resource dialog 101 0x040c
resource dialog 102 0x0409
resource dialog 102 0x040c
resource dialog 103 0x0409
resource dialog 103 0x040c
resource dialog 104 0x0409
resource dialog 104 0x040c
resource dialog 108 0x0409
resource dialog 108 0x040c
resource version 1 0x040c
KINDS

    # Strings 1 to 28 exist in both languages and nothing else; with one
    # byte per character (code page 1252) the texts fill 1511 bytes in
    # English and 1770 in French, terminating NULs included.
    for lang in 0x0409 0x040c; do
        ids=$(awk -v l="$lang" '$1 == "string" && $2 == l { print $3 }' "$out" | tr '\n' ' ')
        [[ $ids == "$(seq -s ' ' 1 28) " ]] || die "$bits-bit: strings of $lang are $ids"
    done
    en=$(awk '$1 == "string" && $2 == "0x0409" { s += $4 + 1 } END { print s }' "$out")
    fr=$(awk '$1 == "string" && $2 == "0x040c" { s += $4 + 1 } END { print s }' "$out")
    [[ $en == 1511 && $fr == 1770 ]] || die "$bits-bit: string bytes $en (English) and $fr (French)"

    for line in \
        'string 0x0409 1 14 "Internal error"' \
        'string 0x0409 12 23 "%s: %s, base %xH, IRQ%d"' \
        'string 0x0409 25 13 "Tests results"' \
        'string 0x040c 1 14 "Erreur interne"' \
        'string 0x040c 3 41 "Impossible de créer la fenêtre principale"' \
        'string 0x040c 25 18 "Résultat des tests"' \
        'version fixed file=1.3.0.0 product=1.3.0.0 mask=0x3f flags=0x0 os=0x40004 type=1 subtype=0' \
        'version translation 0x040c 1200' \
        'version 040c04b0 CompanyName "TORVIN"' \
        'version 040c04b0 FileDescription "cardinst"' \
        'version 040c04b0 FileVersion "1, 3, 0, 0"' \
        'version 040c04b0 InternalName "cardinst"' \
        'version 040c04b0 OriginalFilename "cardinst.exe"' \
        'version 040c04b0 ProductName "TORVIN cardinst"' \
        'version 040c04b0 ProductVersion "1, 3, 0, 0"'; do
        expect_line "resources-$bits" "$line"
    done
    [[ $(grep -c '^version translation' "$out") == 1 ]] || die "$bits-bit: more than one translation"
    log "$bits-bit resources as expected"
done
log "PASS"
