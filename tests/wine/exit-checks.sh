#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR/../../tools/wine
# Quitting with two conflicting cards: every conflict is shown, one box at
# a time, names first, then interrupts shared between the cards (each port
# of one with each port of the other), then addresses, and last the
# reminder of the interrupts to reserve. Commands that reach the main window
# while the boxes are open (Remove, Add..., Quit again) are ignored: nothing
# changes in the registry and no box is shown twice.
# In English and in French.
set -euo pipefail
. "$(dirname "$0")/../../tools/wine/lib.sh"

begin_story exit-checks
ports='Serial10000 COM3 0x3f8 5 2SX510 Serial10000
Serial10001 COM4 0x2f8 5 2SX510 Serial10000
Serial10002 COM4 0x3e8 5 2SX-BTL Serial10002
Serial10003 COM5 0x3f8 5 2SX-BTL Serial10002'
seed_ports <<<"$ports"

for lang in en fr; do
    use_language "$lang"
    conflict=$(text "$lang" conflict_caption)
    run_program "quit-$lang" <<SCRIPT
wait-dialog main
expect-list IDC_CARDLIST "COM3: 2SX510, base 3f8H, IRQ5" "COM4: 2SX-BTL, base 3e8H, IRQ5"
select IDC_CARDLIST 0
click IDC_QUIT
wait-box
post IDC_REMOVE
post IDC_ADD
post IDC_QUIT
expect-box "$conflict" "$(text "$lang" duplicate_name_text COM4 Serial10001 Serial10002)" error none
expect-box "$conflict" "$(text "$lang" shared_irq_text 5 COM3 COM4)" warning none
expect-box "$conflict" "$(text "$lang" shared_irq_text 5 COM3 COM5)" warning none
expect-box "$conflict" "$(text "$lang" shared_irq_text 5 COM4 COM4)" warning none
expect-box "$conflict" "$(text "$lang" shared_irq_text 5 COM4 COM5)" warning none
expect-box "$conflict" "$(text "$lang" duplicate_address_text 3f8 COM3 COM5)" error none
$(reminder_then_exit "$lang" IRQ5)
SCRIPT
done

port_rows <<<"$ports" | expect_ports unchanged
