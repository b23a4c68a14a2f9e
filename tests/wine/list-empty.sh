#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR/../../tools/wine
# An administrator starts the program on a machine where no serial card is
# configured yet: the main window shows an empty list, and Quit ends the
# program with exit code 0 without any message.
set -euo pipefail
. "$(dirname "$0")/../../tools/wine/lib.sh"

begin_story list-empty
ensure_ports_root

for lang in en fr; do
    use_language "$lang"
    run_program "quit-$lang" <<SCRIPT
wait-dialog main
expect-caption "$(text "$lang" main_caption)"
expect-text IDC_STATIC "$(text "$lang" cards_label)"
expect-list IDC_CARDLIST
expect-focus IDC_ADD
no-box 500
click IDC_QUIT
expect-exit 0
SCRIPT
done

# Nothing was written: the ports root is still there and still empty.
expect_ports ports </dev/null
reg_dump "$PORTS_ROOT" | grep -qx 'HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Serial\\Parameters' ||
    die "the ports root has gone"
