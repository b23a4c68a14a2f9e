#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR/../../tools/wine
# Another writer adds a card while the program is open (an import, as the
# registry editor or a second copy of the program would write it): a
# complete 2SX510 at Serial10000-Serial10001, which the program did not
# load. The user then adds a 4SX510 at 280H: it takes the next free names,
# Serial10002 to Serial10005, and the other card's keys stay as they were.
set -euo pipefail
. "$(dirname "$0")/../../tools/wine/lib.sh"

begin_story other-writer
ensure_ports_root
other='Serial10000 COM10 0x3e8 5 2SX510 Serial10000
Serial10001 COM11 0x2e8 5 2SX510 Serial10000'

session_begin add-en
send "wait-dialog main" "expect-list IDC_CARDLIST"
await_line '^list IDC_CARDLIST 0$'
seed_ports <<<"$other"
send "$(add_model 3)" "wait-dialog rs" "select IDC_ADDRESS 1" "click IDC_PROP_ADD" "wait-dialog main" \
    'expect-list IDC_CARDLIST "COM3: 4SX510, base 280H, IRQ10"' "click IDC_QUIT" "$(reminder_then_exit en IRQ10)"
session_end
port_rows <<PORTS | expect_ports ports
$other
Serial10002 COM3 0x280 10 4SX510 Serial10002
Serial10003 COM4 0x288 10 4SX510 Serial10002
Serial10004 COM5 0x290 10 4SX510 Serial10002
Serial10005 COM6 0x298 10 4SX510 Serial10002
PORTS
