#!/usr/bin/env bash
# Runs cardinst.exe under Wine, in a private prefix inside build/ (never
# ~/.wine), and saves a screenshot of its main window.
#
#   scripts/run.sh [x86] [en|fr]
#   scripts/run.sh demo [x86] [en|fr]
#
# The 64-bit program runs unless x86 asks for the 32-bit one. It is built
# first if needed (with the same package install as scripts/build.sh). The prefix build/run/prefix is made on the
# first run and kept; the run makes sure that the serial driver's ports
# root exists and seeds nothing else. en or fr chooses the language through
# private locales; without it Wine follows the caller's locale.
#
# With $DISPLAY set, the program opens there and stays open: use it, then
# Quit; the script ends with it. Without a display, the script starts a
# private Xvfb, takes the screenshot, quits the program through its Quit
# button (closing the boxes of the exit checks, if any) and stops Xvfb.
# Either way it prints the screenshot's path.
#
# demo uses a prefix of its own, build/run/demo/prefix, where each run
# configures the two sample cards of scripts/demo-cards.reg afresh: a
# 2SX510 on COM3-COM4 and a 4SX510 on COM5-COM8. Their ports are virtual
# serial lines (socat): COM3, COM4 and COM5 with a loopback connector, COM6
# without one, COM7 and COM8 not installed, so that Test gives real
# results. Without a display the script also presses Test on the 4SX510
# and saves a screenshot of the results, whose path it prints last. It
# stops the socat processes it started when it ends.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

demo=0 bits=64 lang=''
for word in "$@"; do
    case $word in
    demo) demo=1 ;;
    x86) bits=32 ;;
    en | fr) lang=$word ;;
    *)
        echo "usage: scripts/run.sh [demo] [x86] [en|fr]" >&2
        exit 2
        ;;
    esac
done

exe=build/win$bits/cardinst.exe
driver=build/win64/cardinst-driver.exe
if [[ ! -f $exe || ! -f $driver ]] || [[ -n $(find src tools/wine -newer "$exe" -type f -print -quit) ]]; then
    bash scripts/build.sh "--win$bits"
else
    # Wine's 32-bit side needs its emulator registered again after a restart.
    bash scripts/wine32.sh
fi

# shellcheck source=tools/wine/lib.sh
. tools/wine/lib.sh
export CARDINST_EXE="$root/$exe" CARDINST_DRIVER="$root/$driver" CARDINST_WORK="$root/build/run"
STORY_DIR=$CARDINST_WORK
((demo == 0)) || STORY_DIR="$CARDINST_WORK/demo"
mkdir -p "$STORY_DIR"
trap cleanup EXIT
private_display=0
if [[ -z ${DISPLAY:-} ]]; then
    start_xvfb "$STORY_DIR"
    private_display=1
fi
if [[ -n $lang ]]; then
    build_locales "$CARDINST_WORK/locale"
    use_language "$lang"
fi

export WINEPREFIX="$STORY_DIR/prefix"
STORY_PREFIXES+=("$WINEPREFIX")
if [[ ! -f $WINEPREFIX/system.reg ]]; then
    log "making the Wine prefix $WINEPREFIX"
    make_prefix "$WINEPREFIX"
elif [[ ! -f $WINEPREFIX/drive_c/windows/syswow64/kernel32.dll ]]; then
    # A prefix made before 32-bit Wine was installed lacks its 32-bit side.
    limited 180 "$WINE64" wineboot -u >"$STORY_DIR/wineboot.log" 2>&1
fi
if ((demo)); then
    # One server for the whole run: Wine maps its COM names when its first
    # program starts, and must not do it again once the demo's lines are
    # mapped.
    limited 20 wineserver -k >/dev/null 2>&1 || true
    limited 20 wineserver -p
fi
# Unmanaged windows avoid Wine's stalls on a display without a window
# manager; a real desktop manages them.
managed=Y
[[ $private_display == 0 ]] || managed=N
wine_cmd reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d "$managed" /f >/dev/null
if ((demo)); then
    delete_ports_root
    seed_registry scripts/demo-cards.reg
    serial_line 3 loopback
    serial_line 4 loopback
    serial_line 5 loopback
    serial_line 6 open
    rm -f "$WINEPREFIX/dosdevices/com7" "$WINEPREFIX/dosdevices/com8"
else
    ensure_ports_root
fi

suffix=${lang:+-$lang}
((bits == 64)) || suffix="-x86$suffix"
# The driver waits for the user on a real display, not on the private one.
if ((private_display)); then
    session_begin driver
    send "wait-dialog main" activate rect
else
    session_begin driver 86400
    # Half a second, without a box, for the window to be drawn.
    send "wait-dialog main" "no-box 500" rect
fi
picture "$STORY_DIR/main-window$suffix.png"
echo "$STORY_DIR/main-window$suffix.png"

if ((private_display)); then
    if ((demo)); then
        send "select IDC_CARDLIST 1" "click IDC_TEST" box-rect
        picture "$STORY_DIR/test-results$suffix.png"
        echo "$STORY_DIR/test-results$suffix.png"
        send box
    fi
    send "click IDC_QUIT" boxes-until-exit
else
    ((demo == 0)) || echo "run.sh: select a card and press Test to test its ports." >&2
    echo "run.sh: cardinst is running on $DISPLAY; Quit it to end this script." >&2
    send "exit-code 86400000"
fi
session_end
