#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR source-path=SCRIPTDIR/../../tools/wine
# Cards configured earlier are listed one line per card, sorted as text
# (COM10 before COM3); a port without a model is not listed but still takes
# part in the exit checks, which Quit runs: one address shared by two cards,
# then the reminder naming every IRQ in use. Also takes the screenshots of
# the main window used by the README (left in the story's folder).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../tools/wine/lib.sh"
. "$here/texts.sh"

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
    {
        start_line
        printf 'wait-dialog main\nexpect-caption "%s"\n' "$(text "$lang" main_caption)"
        printf 'expect-list IDC_CARDLIST "COM10: 2SX-BTL, base 3e8H, IRQ4" "COM3: 4SX510, base 3f8H, IRQ10"\nrect\n'
    } >"$STORY_DIR/show-$lang.script"
    # The driver stays on the open window while the screenshot is taken.
    mkfifo "$STORY_DIR/hold-$lang"
    {
        cat "$STORY_DIR/show-$lang.script"
        cat "$STORY_DIR/hold-$lang"
    } | drive "show-$lang" &
    driver_pid=$!
    exec 5>"$STORY_DIR/hold-$lang"
    for ((i = 0; i < 200; i++)); do
        grep -q '^rect ' "$STORY_DIR/show-$lang.out" 2>/dev/null && break
        sleep 0.1
    done
    rect=$(tr -d '\r' <"$STORY_DIR/show-$lang.out" | sed -n 's/^rect //p')
    [[ -n $rect ]] || die "the main window did not show its list"
    sleep 0.5
    screenshot "$STORY_DIR/main-window-$lang.png" "$rect"
    cat >&5 <<SCRIPT
key esc
expect-box "$(text "$lang" conflict_caption)" "$(text "$lang" duplicate_address_text 3e8 COM5 COM10)" error none
expect-box "$(text "$lang" reminder_caption)" "$(text "$lang" reminder_text "IRQ3, IRQ4, IRQ10, IRQ11")" information none
no-box 500
expect-exit 0
SCRIPT
    exec 5>&-
    wait "$driver_pid" || die "the driver failed"
    rm -f "$STORY_DIR/hold-$lang"
done

# Listing and quitting change nothing in the registry.
port_rows <<<"$ports" | expect_ports unchanged
log "PASS"
