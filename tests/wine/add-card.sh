#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR source-path=SCRIPTDIR/../../tools/wine
# Adding a 4SX510 on an empty configuration: Add..., choose the model,
# accept the proposed properties (COM3, IRQ 10 everywhere, the first strap
# position). The card is listed, its four port keys and PermitShare are in
# the registry, Test refuses it until the next start, and Quit reminds the
# user to reserve IRQ10. In English and in French.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../tools/wine/lib.sh"
. "$here/texts.sh"

begin_story add-card

for lang in en fr; do
    use_language "$lang"
    delete_ports_root
    ensure_ports_root
    {
        start_line
        cat <<SCRIPT
wait-dialog main
expect-list IDC_CARDLIST
click IDC_ADD
wait-dialog models
expect-caption "$(text "$lang" models_caption)"
expect-list IDC_MODELLIST "MPB510-8" "MPB510-4" "8SX510" "4SX510" "2SX510" "Linx700" "DuoLinx" "4SX-MORAV" "2SX-MORAV" "2SX-BTL"
select IDC_MODELLIST 3
click IDC_NEXT
wait-dialog rs
expect-caption "$(text "$lang" props_caption)"
expect-text IDC_FIRSTCOM "3"
expect-combo IDC_IRQ1 "10" "3" "4" "5" "7" "9" "10" "11" "15"
expect-combo IDC_IRQ2 "10" "3" "4" "5" "7" "9" "10" "11" "15"
expect-combo IDC_IRQ3 "10" "3" "4" "5" "7" "9" "10" "11" "15"
expect-combo IDC_IRQ4 "10" "3" "4" "5" "7" "9" "10" "11" "15"
expect-combo IDC_ADDRESS "ST1:1-2, 3F8/2F8/3E8/2E8H" "ST1:1-2, 3F8/2F8/3E8/2E8H" "ST1:2-3, 280/288/290/298H"
click IDC_PROP_ADD
wait-dialog main
expect-list IDC_CARDLIST "COM3: 4SX510, base 3f8H, IRQ10"
select IDC_CARDLIST 0
click IDC_TEST
expect-box "$(text "$lang" card_test)" "$(text "$lang" just_added)" error none
wait-dialog main
expect-list IDC_CARDLIST "COM3: 4SX510, base 3f8H, IRQ10"
click IDC_QUIT
expect-box "$(text "$lang" reminder_caption)" "$(text "$lang" reminder_text IRQ10)" information none
no-box 500
expect-exit 0
SCRIPT
    } | drive_script "add-$lang"

    ports_table >"$STORY_DIR/ports-$lang.txt"
    expect_table "ports-$lang" "$STORY_DIR/ports-$lang.txt" <<'TABLE'
Serial10000 DosDevices REG_SZ COM3
Serial10000 Interrupt REG_DWORD 0xa
Serial10000 Leader REG_SZ Serial10000
Serial10000 Model REG_SZ 4SX510
Serial10000 PortAddress REG_DWORD 0x3f8
Serial10001 DosDevices REG_SZ COM4
Serial10001 Interrupt REG_DWORD 0xa
Serial10001 Leader REG_SZ Serial10000
Serial10001 Model REG_SZ 4SX510
Serial10001 PortAddress REG_DWORD 0x2f8
Serial10002 DosDevices REG_SZ COM5
Serial10002 Interrupt REG_DWORD 0xa
Serial10002 Leader REG_SZ Serial10000
Serial10002 Model REG_SZ 4SX510
Serial10002 PortAddress REG_DWORD 0x3e8
Serial10003 DosDevices REG_SZ COM6
Serial10003 Interrupt REG_DWORD 0xa
Serial10003 Leader REG_SZ Serial10000
Serial10003 Model REG_SZ 4SX510
Serial10003 PortAddress REG_DWORD 0x2e8
TABLE
    wine_cmd reg query "$SERIAL_KEY" /v PermitShare | tr -d '\r' >"$STORY_DIR/share-$lang.txt"
    grep -Eq '^ +PermitShare +REG_DWORD +0x1$' "$STORY_DIR/share-$lang.txt" ||
        die "PermitShare is not 1: $(cat "$STORY_DIR/share-$lang.txt")"
done
log "PASS"
