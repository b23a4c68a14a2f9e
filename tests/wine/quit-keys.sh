#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR/../../tools/wine
# Escape, Alt+F4 and the caption's close box end the program like Quit:
# at once on an empty configuration; after the exit checks when cards are
# configured (one 4SX510 on IRQ 10: the reminder to reserve IRQ10 only).
set -euo pipefail
. "$(dirname "$0")/../../tools/wine/lib.sh"

begin_story quit-keys
ensure_ports_root

# How each way of quitting is given to the main window.
declare -A quit=([esc]='key esc' [altf4]='key altf4' [closebox]='close')

for way in esc altf4 closebox; do
    run_program "empty-$way" <<SCRIPT
wait-dialog main
expect-list IDC_CARDLIST
${quit[$way]}
no-box 500
expect-exit 0
SCRIPT
done

seed_ports <<'PORTS'
Serial10000 COM3 0x3f8 10 4SX510 Serial10000
Serial10001 COM4 0x2f8 10 4SX510 Serial10000
Serial10002 COM5 0x3e8 10 4SX510 Serial10000
Serial10003 COM6 0x2e8 10 4SX510 Serial10000
PORTS

for lang in en fr; do
    use_language "$lang"
    for way in esc altf4 closebox; do
        run_program "card-$lang-$way" <<SCRIPT
wait-dialog main
expect-list IDC_CARDLIST "COM3: 4SX510, base 3f8H, IRQ10"
${quit[$way]}
$(reminder_then_exit "$lang" IRQ10)
SCRIPT
    done
done
