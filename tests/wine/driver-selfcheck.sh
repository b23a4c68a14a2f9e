#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR/../../tools/wine
# The driver itself: an expectation that does not hold, a box that never
# comes and a program that does not end must each fail the script, with a
# message naming the line, within the time limit.
set -euo pipefail
. "$(dirname "$0")/../../tools/wine/lib.sh"

begin_story driver-selfcheck
ensure_ports_root

# Runs a script that must fail at the given line.
must_fail() {
    local label=$1 line=$2
    run_program "$label" 1
    grep -q "^FAIL line $line: " "$STORY_DIR/$label.txt" || die "$label: no failure at line $line"
    log "$label failed as it should"
}

# Expectations wait their full limit before they fail: these two side by side.
printf 'wait-dialog main\nexpect-caption "Another caption"\n' | must_fail wrong-caption 3 &
first=$!
printf 'wait-dialog main\nexpect-list IDC_CARDLIST "COM3: 4SX510, base 3f8H, IRQ10"\n' |
    must_fail wrong-list 3
wait "$first"
printf 'wait-dialog main\nbox 1000\n' | must_fail no-box 3
printf 'wait-dialog main\nexpect-exit 0 1000\n' | must_fail still-running 3
# After those failures the program still starts and quits as usual.
printf 'wait-dialog main\nclick IDC_QUIT\nexpect-exit 0\n' | run_program quit
