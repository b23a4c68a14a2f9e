#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR/../tools/wine
# Pictures of every screen of cardinst, in English and in French, made
# under Wine by the end-to-end tests' driver program.
#
#   scripts/screenshots.sh [-o DIR] [SCREEN...]
#
# Writes DIR/<lang>/<screen>.png (DIR is docs/screens unless given), lang en
# and fr. A SCREEN is a name below, for both languages, or <lang>/<name>;
# without any, every screen in both languages:
#   main-empty main-cards models props-strap props-switch props-free
#   refused-entry exit-duplicate-name exit-shared-irq
#   exit-duplicate-address exit-reminder test-results
# Each picture is one window, cropped to its rectangle, active, with its
# caption buttons drawn in Wine's Marlett font; the PNG has no metadata
# (no date, no path), so that the same program gives the same files.
#
# The stories behind the pictures: an empty configuration where the user
# looks at each properties dialog and types a COM number out of range; the
# two sample cards of scripts/demo-cards.reg over virtual serial lines
# (COM3-COM5 with a loopback connector, COM6 without, COM7 and COM8 not
# installed), whose second card is tested; and two cards in conflict, whose
# exit checks complain once of each kind.
#
# Under CTest the suite's environment (CARDINST_EXE, CARDINST_DRIVER,
# CARDINST_WORK with its template prefix and locales) is used as it is.
# Otherwise the 64-bit programs are built if needed and the template prefix
# and locales are made once in build/screenshots.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

readonly ALL_SCREENS=(main-empty main-cards models props-strap props-switch props-free refused-entry
    exit-duplicate-name exit-shared-irq exit-duplicate-address exit-reminder test-results)

usage() {
    echo "usage: scripts/screenshots.sh [-o DIR] [[en/|fr/]SCREEN...]" >&2
    echo "screens: ${ALL_SCREENS[*]}" >&2
    exit 2
}

out="$root/docs/screens"
requested=()
while (($#)); do
    case $1 in
    -o)
        (($# >= 2)) || usage
        mkdir -p "$2"
        out=$(cd "$2" && pwd)
        shift 2
        ;;
    -h | --help) usage ;;
    -*) usage ;;
    *)
        requested+=("$1")
        shift
        ;;
    esac
done

# The set of <lang>/<name> to render.
declare -A WANTED=()
want() {
    local item=$1 lang name known screen
    case $item in
    en/* | fr/*) lang=${item%%/*} name=${item#*/} ;;
    */*) usage ;;
    *) lang='' name=$item ;;
    esac
    known=0
    for screen in "${ALL_SCREENS[@]}"; do
        [[ $screen != "$name" ]] || known=1
    done
    ((known)) || {
        echo "screenshots.sh: unknown screen $name" >&2
        usage
    }
    if [[ -n $lang ]]; then
        WANTED[$lang/$name]=1
    else
        WANTED[en/$name]=1
        WANTED[fr/$name]=1
    fi
}
if ((${#requested[@]} == 0)); then
    requested=("${ALL_SCREENS[@]}")
fi
for item in "${requested[@]}"; do
    want "$item"
done

if [[ -z ${CARDINST_WORK:-} ]]; then
    cd "$root"
    exe=build/win64/cardinst.exe
    driver=build/win64/cardinst-driver.exe
    if [[ ! -f $exe || ! -f $driver ]] || [[ -n $(find src tools/wine -newer "$exe" -type f -print -quit) ]]; then
        bash scripts/build.sh --win64
    fi
    export CARDINST_EXE="$root/$exe" CARDINST_DRIVER="$root/$driver" CARDINST_WORK="$root/build/screenshots"
fi
. "$root/tools/wine/lib.sh"
if [[ ! -f $CARDINST_WORK/template/drive_c/windows/Fonts/marlett.ttf ]]; then
    # The locales and the template prefix, as the suite's set-up makes them.
    (
        trap cleanup EXIT
        mkdir -p "$CARDINST_WORK"
        build_locales "$CARDINST_WORK/locale"
        start_xvfb "$CARDINST_WORK"
        make_prefix "$CARDINST_WORK/template"
    )
fi

# ------------------------------------------------------------ pictures

LANGUAGE=''

# Pictures the current dialog (dialog) or the message box now opening (box)
# as <name>, when that picture is wanted; a box stays open for the next
# command to read and close.
snap() {
    local name=$1 kind=$2
    [[ -n ${WANTED[$LANGUAGE/$name]:-} ]] || return 0
    if [[ $kind == box ]]; then
        send box-rect
    else
        send activate rect
    fi
    picture "$out/$LANGUAGE/$name.png"
}

# Whether one of the screens named is wanted in the current language.
wanted_any() {
    local name
    for name in "$@"; do
        [[ -z ${WANTED[$LANGUAGE/$name]:-} ]] || return 0
    done
    return 1
}

# ------------------------------------------------------------ the stories

reset_ports() {
    delete_ports_root
    ensure_ports_root
}

# An empty configuration: the main window, the model selection, the three
# properties dialogs with their proposed values, and a refused COM number.
story_add() {
    wanted_any main-empty models props-strap refused-entry props-switch props-free || return 0
    reset_ports
    session_begin "add-$LANGUAGE"
    send "wait-dialog main" "expect-list IDC_CARDLIST"
    snap main-empty dialog
    send "click IDC_ADD" "wait-dialog models" "select IDC_MODELLIST 3"
    snap models dialog
    send "click IDC_NEXT" "wait-dialog rs"
    snap props-strap dialog
    send "settext IDC_FIRSTCOM 256" "click IDC_PROP_ADD"
    snap refused-entry box
    send box "wait-dialog rs" "click IDC_PROP_CANCEL" "wait-dialog main"
    send "click IDC_ADD" "wait-dialog models" "select IDC_MODELLIST 5" "click IDC_NEXT" "wait-dialog linx"
    snap props-switch dialog
    send "click IDC_PROP_CANCEL" "wait-dialog main"
    send "click IDC_ADD" "wait-dialog models" "select IDC_MODELLIST 0" "click IDC_NEXT" "wait-dialog mpb"
    snap props-free dialog
    send "click IDC_MPB_CANCEL" "wait-dialog main" "expect-list IDC_CARDLIST" "click IDC_QUIT" "no-box 300" "expect-exit 0"
    session_end
}

# The sample cards: the main window, the test of the 4-port card and the
# reminder on quitting.
story_cards() {
    wanted_any main-cards test-results exit-reminder || return 0
    reset_ports
    seed_registry "$root/scripts/demo-cards.reg"
    session_begin "cards-$LANGUAGE"
    send "wait-dialog main" \
        'expect-list IDC_CARDLIST "COM3: 2SX510, base 3e8H, IRQ5" "COM5: 4SX510, base 280H, IRQ10"'
    snap main-cards dialog
    send "select IDC_CARDLIST 1" "click IDC_TEST"
    snap test-results box
    send box "wait-dialog main" "click IDC_QUIT"
    snap exit-reminder box
    send "expect-box \"$(text "$LANGUAGE" reminder_caption)\" \"$(text "$LANGUAGE" reminder_text "IRQ5, IRQ7, IRQ10")\" information none" \
        "no-box 300" "expect-exit 0"
    session_end
}

# Two cards in conflict: a 2SX-BTL added on COM4-COM5 next to a 2SX510 on
# COM3-COM4 gives one box of each exit check.
story_conflicts() {
    wanted_any exit-duplicate-name exit-shared-irq exit-duplicate-address || return 0
    reset_ports
    seed_ports <<'PORTS'
Serial10000 COM3 0x3e8 4 2SX510 Serial10000
Serial10001 COM4 0x2e8 3 2SX510 Serial10000
Serial10002 COM4 0x3e8 5 2SX-BTL Serial10002
Serial10003 COM5 0x330 3 2SX-BTL Serial10002
PORTS
    local conflict
    conflict=$(text "$LANGUAGE" conflict_caption)
    session_begin "conflicts-$LANGUAGE"
    send "wait-dialog main" "click IDC_QUIT"
    snap exit-duplicate-name box
    send "expect-box \"$conflict\" \"$(text "$LANGUAGE" duplicate_name_text COM4 Serial10001 Serial10002)\" error none"
    snap exit-shared-irq box
    send "expect-box \"$conflict\" \"$(text "$LANGUAGE" shared_irq_text 3 COM4 COM5)\" warning none"
    snap exit-duplicate-address box
    send "expect-box \"$conflict\" \"$(text "$LANGUAGE" duplicate_address_text 3e8 COM3 COM4)\" error none"
    send "expect-box \"$(text "$LANGUAGE" reminder_caption)\" \"$(text "$LANGUAGE" reminder_text "IRQ3, IRQ4, IRQ5")\" information none" \
        "no-box 300" "expect-exit 0"
    session_end
}

start=$SECONDS
begin_story screenshots
# A caret that does not blink is in every picture of its edit box.
wine_cmd reg add 'HKCU\Control Panel\Desktop' /v CursorBlinkRate /t REG_SZ /d -1 /f >/dev/null
# The sample cards' lines: COM3 to COM5 with a loopback connector, COM6
# without; COM7 and COM8 are not installed.
serial_line 3 loopback
serial_line 4 loopback
serial_line 5 loopback
serial_line 6 open
for LANGUAGE in en fr; do
    use_language "$LANGUAGE"
    story_add
    story_cards
    story_conflicts
done
log "done in $((SECONDS - start)) s: $(realpath --relative-to="$root" "$out")"
