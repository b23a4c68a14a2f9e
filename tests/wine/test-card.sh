#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR/../../tools/wine
# Testing cards configured earlier, through virtual serial lines: a port
# with a loopback connector, a port with none, and ports the system does not
# know. Each port of the selected card gets one result line, in one box
# without icon or owner. In English and in French.
set -euo pipefail
. "$(dirname "$0")/../../tools/wine/lib.sh"

begin_story test-card
seed_ports <<'PORTS'
Serial10000 COM10 0x3f8 4 2SX510 Serial10000
Serial10001 COM11 0x2f8 3 2SX510 Serial10000
Serial10002 COM12 0x3e8 5 2SX510 Serial10002
Serial10003 COM13 0x2e8 7 2SX510 Serial10002
PORTS
serial_line 10 loopback
serial_line 11 open

for lang in en fr; do
    use_language "$lang"
    caption=$(text "$lang" results_caption)
    card1="$(text "$lang" test_ok COM10)\\n$(text "$lang" test_no_loopback COM11)\\n"
    card2="$(text "$lang" not_installed COM12)\\n$(text "$lang" not_installed COM13)\\n"
    run_program "test-$lang" <<SCRIPT
wait-dialog main
expect-list IDC_CARDLIST "COM10: 2SX510, base 3f8H, IRQ4" "COM12: 2SX510, base 3e8H, IRQ5"
select IDC_CARDLIST 0
click IDC_TEST
expect-box "$caption" "$card1" none none
wait-dialog main
expect-list IDC_CARDLIST "COM10: 2SX510, base 3f8H, IRQ4" "COM12: 2SX510, base 3e8H, IRQ5"
select IDC_CARDLIST 1
click IDC_TEST
expect-box "$caption" "$card2" none none
key esc
$(reminder_then_exit "$lang" "IRQ3, IRQ4, IRQ5, IRQ7")
SCRIPT
done
