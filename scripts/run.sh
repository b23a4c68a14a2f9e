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
# shellcheck source=tools/wine/lib.sh
. tools/wine/lib.sh # serial_line, winpath

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

work="$root/build/run"
prefix_dir=$work
((demo == 0)) || prefix_dir="$work/demo"
mkdir -p "$prefix_dir"
export WINEPREFIX="$prefix_dir/prefix" WINEDEBUG=-all WINEDLLOVERRIDES='winemenubuilder.exe=d'
started=()
stop_all() {
    local status=$? pid
    timeout 20 wineserver -k >/dev/null 2>&1 || true
    for pid in "${started[@]}" "${STARTED_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    exit "$status"
}
trap stop_all EXIT

private_display=0
if [[ -z ${DISPLAY:-} ]]; then
    fifo="$work/xvfb-display"
    rm -f "$fifo"
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >"$work/xvfb.log" 2>&1 &
    started+=("$!")
    number=''
    read -r -t 10 number <"$fifo" || true
    rm -f "$fifo"
    [[ -n $number ]] || {
        echo "run.sh: Xvfb did not start (see $work/xvfb.log)" >&2
        exit 1
    }
    export DISPLAY=":$number"
    private_display=1
fi

locale_env=()
if [[ -n $lang ]]; then
    name=en_US
    [[ $lang == en ]] || name=fr_FR
    if [[ ! -f $work/locale/$name.UTF-8/LC_CTYPE ]]; then
        mkdir -p "$work/locale"
        localedef -i "$name" -f UTF-8 "$work/locale/$name.UTF-8" || [[ -f $work/locale/$name.UTF-8/LC_CTYPE ]]
    fi
    locale_env=("LOCPATH=$work/locale" "LANG=$name.UTF-8" "LC_ALL=$name.UTF-8")
fi
run_wine() {
    timeout 120 env "${locale_env[@]}" "$WINE64" "$@"
}

if [[ ! -f $WINEPREFIX/system.reg ]]; then
    echo "run.sh: making the Wine prefix $WINEPREFIX" >&2
    timeout 180 "$WINE64" wineboot -i >"$prefix_dir/wineboot.log" 2>&1
    run_wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
elif [[ ! -f $WINEPREFIX/drive_c/windows/syswow64/kernel32.dll ]]; then
    # A prefix made before 32-bit Wine was installed lacks its 32-bit side.
    timeout 180 "$WINE64" wineboot -u >"$prefix_dir/wineboot.log" 2>&1
fi
bash tools/wine/fonts.sh "$WINEPREFIX" || echo "run.sh: the caption buttons will lack their font" >&2
if ((demo)); then
    # One server for the whole run: Wine maps its COM names when its first
    # program starts, and must not do it again once the demo's lines are
    # mapped.
    timeout 20 wineserver -k >/dev/null 2>&1 || true
    timeout 20 wineserver -p
fi
# Unmanaged windows avoid Wine's stalls on a display without a window
# manager; a real desktop manages them.
managed=Y
[[ $private_display == 0 ]] || managed=N
run_wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d "$managed" /f >/dev/null
run_wine reg add 'HKLM\SYSTEM\CurrentControlSet\Services\Serial\Parameters' /f >/dev/null
if ((demo)); then
    run_wine reg delete 'HKLM\SYSTEM\CurrentControlSet\Services\Serial' /f >/dev/null 2>&1 || true
    run_wine regedit /s "$(winpath scripts/demo-cards.reg)"
    STORY_DIR=$prefix_dir
    serial_line 3 loopback
    serial_line 4 loopback
    serial_line 5 loopback
    serial_line 6 open
    rm -f "$WINEPREFIX/dosdevices/com7" "$WINEPREFIX/dosdevices/com8"
fi

# The driver waits for the user on a real display, not on the private one.
driver_limit=300
[[ $private_display == 1 ]] || driver_limit=86400
windows_exe="Z:$(realpath "$exe" | sed 's#/#\\\\#g')"
suffix=${lang:+-$lang}
((bits == 64)) || suffix="-x86$suffix"
shot="$work/main-window$suffix.png"
((demo == 0)) || shot="$prefix_dir/main-window$suffix.png"
out="$work/driver.out"
hold="$work/driver-hold"
rm -f "$hold" "$out"
mkfifo "$hold"
{
    printf 'start "%s"\nwait-dialog main 30000\n' "$windows_exe"
    # The pictures of the demo show the window active.
    ((demo == 0 || private_display == 0)) || printf 'activate\n'
    printf 'rect\n'
    cat "$hold"
} | timeout "$driver_limit" env "${locale_env[@]}" "$WINE64" "$driver" >"$out" 2>&1 &
driver_pid=$!
exec 5>"$hold"
# Waits for the driver's line "<word> x y w h", saves the screen inside
# that rectangle as $2 and prints its path; $3 says what did not appear.
shoot() {
    local word=$1 file=$2 rect='' i x y w h
    for ((i = 0; i < 300; i++)); do
        rect=$(tr -d '\r' <"$out" 2>/dev/null | sed -n "s/^$word //p")
        [[ -z $rect ]] || break
        kill -0 "$driver_pid" 2>/dev/null || break
        sleep 0.1
    done
    [[ -n $rect ]] || {
        cat "$out" >&2
        echo "run.sh: $3 did not appear" >&2
        exit 1
    }
    sleep 0.5
    read -r x y w h <<<"$rect"
    timeout 30 import -window root "$work/screen.png"
    convert "$work/screen.png" -crop "${w}x${h}+${x}+${y}" +repage "$file"
    rm -f "$work/screen.png"
    echo "$file"
}
shoot rect "$shot" "the main window"

if [[ $private_display == 1 ]]; then
    if ((demo)); then
        printf 'select IDC_CARDLIST 1\nclick IDC_TEST\nbox-rect 30000\n' >&5
        shoot box-rect "$prefix_dir/test-results$suffix.png" "the test results"
        printf 'box\n' >&5
    fi
    printf 'click IDC_QUIT\nboxes-until-exit 30000\n' >&5
else
    ((demo == 0)) || echo "run.sh: select a card and press Test to test its ports." >&2
    echo "run.sh: cardinst is running on $DISPLAY; Quit it to end this script." >&2
    printf 'exit-code 86400000\n' >&5
fi
exec 5>&-
wait "$driver_pid"
rm -f "$hold"
