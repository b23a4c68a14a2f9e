#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR/../../tools/wine
# Port keys that cannot be loaded are skipped: one without its DosDevices
# value is reported in a warning box that has no owner window (the main
# window is still being created), one whose Interrupt is text is skipped
# without a word. The card around them is listed, and the registry keeps
# the broken keys as they were. In English and in French.
set -euo pipefail
. "$(dirname "$0")/../../tools/wine/lib.sh"

begin_story load-errors
root='[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Serial\Parameters'
cat >"$STORY_DIR/seed.reg" <<EOF2
REGEDIT4

$root]

$(port_entry Serial10000 COM3 0x3f8 4 2SX510 Serial10000)
$root\\Serial10001]
"Interrupt"=dword:00000005
"PortAddress"=dword:00000280

$root\\Serial10002]
"DosDevices"="COM8"
"Interrupt"="5"
"PortAddress"=dword:00000288

$(port_entry Serial10003 COM4 0x2f8 3 2SX510 Serial10000)
EOF2
seed_registry "$STORY_DIR/seed.reg"
ports_table >"$STORY_DIR/ports-before.txt"
grep -q '^Serial10002 Interrupt REG_SZ 5$' "$STORY_DIR/ports-before.txt" ||
    die "the seed did not store Interrupt as text"

for lang in en fr; do
    use_language "$lang"
    run_program "load-$lang" <<SCRIPT
expect-box "$(text "$lang" internal_error)" "$(text "$lang" mandatory_value DosDevices Serial10001 '{sys:2}')" warning none
no-box 500
wait-dialog main
expect-list IDC_CARDLIST "COM3: 2SX510, base 3f8H, IRQ4"
click IDC_QUIT
$(reminder_then_exit "$lang" "IRQ3, IRQ4")
SCRIPT
done

expect_ports unchanged <"$STORY_DIR/ports-before.txt"
