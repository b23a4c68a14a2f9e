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
    run_program "open-$lang" <<SCRIPT
systext 2
expect-box "$(text "$lang" internal_error)" "listCards/OpenKey: {sys:2}" warning none
boxes-until-exit
SCRIPT
    # Wine's CreateDialogParamA returns the handle of a dialog that was
    # destroyed during its WM_INITDIALOG, so start-up treats it as created:
    # the report is the only box, and the program ends at its WM_QUIT.
    for line in 'boxes 0' 'exit 0'; do
        grep -qxF "$line" "$STORY_DIR/open-$lang.txt" || die "open-$lang: no line '$line'"
    done
    # The system text must be a real text, not an empty one.
    if grep -qx 'systext 2 ""' "$STORY_DIR/open-$lang.txt"; then
        die "no system text for error 2"
    fi
done
