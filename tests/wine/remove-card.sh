#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR/../../tools/wine
# Removing cards: Remove without a selection asks for one; removing the
# selected two-port card deletes its two port keys at once and leaves the
# other card's keys; removing the last card empties the list and the
# configuration, so Quit has nothing to check; a card added in this run is
# removed as well as one configured before.
set -euo pipefail
. "$(dirname "$0")/../../tools/wine/lib.sh"

begin_story remove-card
four='Serial10000 COM3 0x3f8 10 4SX510 Serial10000
Serial10001 COM4 0x2f8 10 4SX510 Serial10000
Serial10002 COM5 0x3e8 10 4SX510 Serial10000
Serial10003 COM6 0x2e8 10 4SX510 Serial10000'
seed_ports <<PORTS
$four
Serial10004 COM10 0x280 5 2SX510 Serial10004
Serial10005 COM11 0x288 5 2SX510 Serial10004
PORTS

for lang in en fr; do
    use_language "$lang"
    run_program "no-selection-$lang" <<SCRIPT
wait-dialog main
expect-list IDC_CARDLIST "COM10: 2SX510, base 280H, IRQ5" "COM3: 4SX510, base 3f8H, IRQ10"
click IDC_REMOVE
expect-box "$(text "$lang" no_selection_caption)" "$(text "$lang" no_selection_text)" error none
click IDC_TEST
expect-box "$(text "$lang" no_selection_caption)" "$(text "$lang" no_selection_text)" error none
wait-dialog main
expect-list IDC_CARDLIST "COM10: 2SX510, base 280H, IRQ5" "COM3: 4SX510, base 3f8H, IRQ10"
close
$(reminder_then_exit "$lang" "IRQ5, IRQ10")
SCRIPT
done

use_language en
run_program remove-first <<SCRIPT
wait-dialog main
select IDC_CARDLIST 0
click IDC_REMOVE
wait-dialog main
expect-list IDC_CARDLIST "COM3: 4SX510, base 3f8H, IRQ10"
no-box 500
click IDC_QUIT
$(reminder_then_exit en IRQ10)
SCRIPT
port_rows <<<"$four" | expect_ports ports-left

# Removing the one card listed leaves nothing for Quit to check.
remove_only='select IDC_CARDLIST 0
click IDC_REMOVE
wait-dialog main
expect-list IDC_CARDLIST
click IDC_QUIT
no-box 500
expect-exit 0'
run_program remove-last <<SCRIPT
wait-dialog main
expect-list IDC_CARDLIST "COM3: 4SX510, base 3f8H, IRQ10"
$remove_only
SCRIPT

expect_ports ports-none </dev/null

# A card added through the dialogs can be removed in the same run: its keys
# go, and Quit then has nothing to check.
run_program remove-added <<SCRIPT
wait-dialog main
$(add_model 4)
wait-dialog rs
expect-text IDC_FIRSTCOM "3"
click IDC_PROP_ADD
wait-dialog main
expect-list IDC_CARDLIST "COM3: 2SX510, base 3f8H, IRQ4"
$remove_only
SCRIPT

expect_ports ports-after-added </dev/null
