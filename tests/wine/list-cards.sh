#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR/../../tools/wine
# Cards configured earlier are listed one line per card, sorted as text
# (COM10 before COM3); a port without a model is not listed but still takes
# part in the exit checks, which Quit runs: one address shared by two cards,
# then the reminder naming every IRQ in use.
set -euo pipefail
. "$(dirname "$0")/../../tools/wine/lib.sh"

begin_story list-cards
ports='Serial10000 COM3 0x3f8 10 4SX510 Serial10000
Serial10001 COM4 0x2f8 10 4SX510 Serial10000
Serial10002 COM5 0x3e8 10 4SX510 Serial10000
Serial10003 COM6 0x2e8 10 4SX510 Serial10000
Serial10004 COM10 0x3e8 4 2SX-BTL Serial10004
Serial10005 COM11 0x330 3 2SX-BTL Serial10004
Serial10006 COM7 0x2a0 11 - -'
seed_ports <<<"$ports"

for lang in en fr; do
    use_language "$lang"
    run_program "list-$lang" <<SCRIPT
wait-dialog main
expect-caption "$(text "$lang" main_caption)"
expect-list IDC_CARDLIST "COM10: 2SX-BTL, base 3e8H, IRQ4" "COM3: 4SX510, base 3f8H, IRQ10"
key esc
expect-box "$(text "$lang" conflict_caption)" "$(text "$lang" duplicate_address_text 3e8 COM5 COM10)" error none
$(reminder_then_exit "$lang" "IRQ3, IRQ4, IRQ10, IRQ11")
SCRIPT
done

# Listing and quitting change nothing in the registry.
port_rows <<<"$ports" | expect_ports unchanged
