#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR/../../tools/wine
# Adding a 4SX510 on an empty configuration: Add..., choose the model,
# accept the proposed properties (COM3, IRQ 10 everywhere, the first strap
# position). The card is listed, its four port keys and PermitShare are in
# the registry, Test refuses it until the next start, and Quit reminds the
# user to reserve IRQ10. In English and in French.
set -euo pipefail
. "$(dirname "$0")/../../tools/wine/lib.sh"

begin_story add-card

for lang in en fr; do
    use_language "$lang"
    delete_ports_root
    ensure_ports_root
    run_program "add-$lang" <<SCRIPT
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
$(reminder_then_exit "$lang" IRQ10)
SCRIPT
    port_rows <<'PORTS' | expect_ports "ports-$lang"
Serial10000 COM3 0x3f8 10 4SX510 Serial10000
Serial10001 COM4 0x2f8 10 4SX510 Serial10000
Serial10002 COM5 0x3e8 10 4SX510 Serial10000
Serial10003 COM6 0x2e8 10 4SX510 Serial10000
PORTS
    wine_cmd reg query "$SERIAL_KEY" /v PermitShare | tr -d '\r' |
        grep -Eq '^ +PermitShare +REG_DWORD +0x1$' || die "PermitShare is not 1"
done
