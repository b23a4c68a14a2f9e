#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR/../../tools/wine
# The serial driver's ports root is missing: the program reports that it
# cannot open it, in a warning box with no owner window (the main window is
# still being created), and ends with exit code 0 without showing its list.
set -euo pipefail
. "$(dirname "$0")/../../tools/wine/lib.sh"

begin_story missing-root
delete_ports_root

for lang in en fr; do
    use_language "$lang"
    # Wine's CreateDialogParamA returns the handle of a dialog that was
    # destroyed during its WM_INITDIALOG, so start-up treats it as created:
    # the report is the only box, and the program ends at its WM_QUIT.
    run_program "open-$lang" <<SCRIPT
expect-box "$(text "$lang" internal_error)" "listCards/OpenKey: {sys:2}" warning none
no-box 500
expect-exit 0
SCRIPT
done
