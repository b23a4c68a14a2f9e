#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR/../../tools/wine
# Adding one card of each properties dialog in a row: a 2-port jumper-strap
# card (after refused COM numbers), a switch-selected Linx700 on the second
# switch position, and an 8-port MPB510-8 at a typed base address (after
# refused addresses), with the cancelled ways out in between. Each card is
# listed and written with the values its dialog showed; Quit finds no
# conflict and names the four IRQs in use.
set -euo pipefail
. "$(dirname "$0")/../../tools/wine/lib.sh"

begin_story add-other-cards
ensure_ports_root

com_text='In the \"COM number for first port\" field, type a number between 1 and 255. For example, if you type 3, the first port will be named COM3 (or \\.\\COM3), and so on.'
base_text='The base address that you typed in is invalid for this model. Check its value and that it was entered in hexadecimal.'
cards='"COM3: Linx700, base 3e8H, IRQ10" "COM5: 2SX510, base 3f8H, IRQ4" "COM7: MPB510-8, base 1c0H, IRQ6"'
# An entry that Add refuses, the box that says so, back to the dialog:
#   refused <dialog> <id> <entry> <box text> [box caption]
refused() {
    printf 'settext %s "%s"\nclick IDC_PROP_ADD\nexpect-box "%s" "%s" error none\nwait-dialog %s\n' \
        "$2" "$3" "${5:-Configuration error}" "$4" "$1"
}
run_program add-en <<SCRIPT
wait-dialog main
# The model dialog: Next>> without a model does nothing; Escape cancels.
click IDC_ADD
wait-dialog models
expect-list IDC_MODELLIST "MPB510-8" "MPB510-4" "8SX510" "4SX510" "2SX510" "Linx700" "DuoLinx" "4SX-MORAV" "2SX-MORAV" "2SX-BTL"
click IDC_NEXT
no-box 300
wait-dialog models
key esc
wait-dialog main
expect-list IDC_CARDLIST

# 2SX510: IRQ 4 and 3 proposed, ports 3 and 4 disabled.
$(add_model 4)
wait-dialog rs
expect-text IDC_FIRSTCOM "3"
expect-combo IDC_IRQ1 "4" "3" "4" "5" "7" "9" "10" "11" "15"
expect-combo IDC_IRQ2 "3" "3" "4" "5" "7" "9" "10" "11" "15"
expect-combo IDC_IRQ3 ""
expect-combo IDC_IRQ4 ""
expect-enabled IDC_IRQ3 0
expect-enabled IDC_IRQ4 0
expect-combo IDC_ADDRESS "ST1:1-2, 3F8/2F8H" "ST1:1-2, 3F8/2F8H" "ST1:2-3, 3E8/2E8H"
# Escape does nothing in this dialog.
key esc
no-box 300
wait-dialog rs
$(refused rs IDC_FIRSTCOM 0 "$com_text")
$(refused rs IDC_FIRSTCOM 256 "$com_text")
$(refused rs IDC_FIRSTCOM "" "$com_text")
settext IDC_FIRSTCOM "5"
# Enter presses Add.
key enter
wait-dialog main
expect-list IDC_CARDLIST "COM5: 2SX510, base 3f8H, IRQ4"

# Linx700: "4+3" proposed; IRQ 10 on the second switch position.
$(add_model 5)
wait-dialog linx
expect-combo IDC_IRQ1 "4+3" "4+3" "9" "10" "11" "12"
expect-combo IDC_ADDRESS "SW1-1:OFF, 3F8/2F8H" "SW1-1:OFF, 3F8/2F8H" "SW1-1:ON,  3E8/2E8H"
select IDC_IRQ1 2
select IDC_ADDRESS 1
click IDC_PROP_ADD
wait-dialog main
expect-list IDC_CARDLIST "COM3: Linx700, base 3e8H, IRQ10" "COM5: 2SX510, base 3f8H, IRQ4"

# MPB510-8: first free run of eight COM numbers from 3 is COM7; Escape
# cancels this dialog.
$(add_model 0)
wait-dialog mpb
expect-text IDC_FIRSTCOM "7"
expect-text IDC_ADDRESS "280"
key esc
wait-dialog main
expect-list IDC_CARDLIST "COM3: Linx700, base 3e8H, IRQ10" "COM5: 2SX510, base 3f8H, IRQ4"
$(add_model 0)
wait-dialog mpb
expect-combo IDC_IRQ1 "10" "3" "4" "5" "6" "7" "9" "10" "11" "12" "15"
select IDC_IRQ1 3
$(refused mpb IDC_ADDRESS 2A0 "$base_text")
$(refused mpb IDC_ADDRESS 0x1000 "$base_text")
settext IDC_ADDRESS "1c0H"
click IDC_PROP_ADD
wait-dialog main
expect-list IDC_CARDLIST $cards
click IDC_QUIT
$(reminder_then_exit en "IRQ3, IRQ4, IRQ6, IRQ10")
SCRIPT

# The expected values: Serial10000-1 for the 2SX510, Serial10002-3 for the
# Linx700, Serial10004-11 for the MPB510-8.
{
    port_rows <<'PORTS'
Serial10000 COM5 0x3f8 4 2SX510 Serial10000
Serial10001 COM6 0x2f8 3 2SX510 Serial10000
Serial10002 COM3 0x3e8 10 Linx700 Serial10002
Serial10003 COM4 0x2e8 10 Linx700 Serial10002
PORTS
    for ((i = 0; i < 8; i++)); do
        key=Serial$((10004 + i))
        echo "$key COM$((7 + i)) $((0x1c0 + 8 * i)) 6 MPB510-8 Serial10004" | port_rows
        printf '%s InterruptStatus REG_DWORD 0x1c7\n%s PortIndex REG_DWORD %#x\n' "$key" "$key" $((1 + i))
    done
} >"$STORY_DIR/ports-expected.txt"
expect_ports ports <"$STORY_DIR/ports-expected.txt"
wine_cmd reg query "$SERIAL_KEY" /v PermitShare | tr -d '\r' |
    grep -Eq '^ +PermitShare +REG_DWORD +0x1$' || die "PermitShare is not 1"

# The same refusals in French: string 6 shows its "%n" as it stands.
use_language fr
com_fr='Dans le champ \"numéro du premier port\", tapez un nombre compris%nentre 1 et 255. Par exemple, si vous tapez 3, le premier port sera nommé COM3 (ou \\.\\COM3), etc.'
base_fr="L'adresse de base que vous avez tapée est invalide pour ce type de carte. Vérifiez qu'elle entre dans les bornes admises et que vous  l'avez tapée en hexadécimal."
run_program refusals-fr <<SCRIPT
wait-dialog main
$(add_model 3)
wait-dialog rs
expect-caption "Propriétés de la carte"
$(refused rs IDC_FIRSTCOM 0 "$com_fr" "Erreur de configuration")
click IDC_PROP_CANCEL
wait-dialog main
$(add_model 1)
wait-dialog mpb
$(refused mpb IDC_ADDRESS zz "$base_fr" "Erreur de configuration")
close
wait-dialog main
expect-list IDC_CARDLIST $cards
click IDC_QUIT
$(reminder_then_exit fr "IRQ3, IRQ4, IRQ6, IRQ10")
SCRIPT

# Cancelled dialogs wrote nothing.
expect_ports unchanged <"$STORY_DIR/ports-expected.txt"
