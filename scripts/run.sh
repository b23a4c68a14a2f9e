#!/usr/bin/env bash
# Runs cardinst.exe under Wine, in a private prefix inside build/ (never
# ~/.wine), and saves a screenshot of its main window.
#
#   scripts/run.sh [en|fr]
#
# The 64-bit program is built first if needed (with the same package
# install as scripts/build.sh). The prefix build/run/prefix is made on the
# first run and kept; the run makes sure that the serial driver's ports
# root exists and seeds nothing else. en or fr chooses the language through
# private locales; without it Wine follows the caller's locale.
#
# With $DISPLAY set, the program opens there and stays open: use it, then
# Quit; the script ends with it. Without a display, the script starts a
# private Xvfb, takes the screenshot, quits the program through its Quit
# button (closing the boxes of the exit checks, if any) and stops Xvfb.
# Either way it prints the screenshot's path.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

lang=${1:-}
[[ -z $lang || $lang == en || $lang == fr ]] || {
    echo "usage: scripts/run.sh [en|fr]" >&2
    exit 2
}

exe=build/win64/cardinst.exe
driver=build/win64/cardinst-driver.exe
if [[ ! -f $exe || ! -f $driver ]] || [[ -n $(find src tests/wine -newer "$exe" -type f -print -quit) ]]; then
    bash scripts/build.sh --win64
fi

work="$root/build/run"
mkdir -p "$work"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES='winemenubuilder.exe=d'
started=()
stop_all() {
    local status=$? pid
    timeout 20 wineserver -k >/dev/null 2>&1 || true
    for pid in "${started[@]}"; do
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
    timeout 120 env "${locale_env[@]}" wine "$@"
}

if [[ ! -f $WINEPREFIX/system.reg ]]; then
    echo "run.sh: making the Wine prefix $WINEPREFIX" >&2
    timeout 180 wineboot -i >"$work/wineboot.log" 2>&1
    run_wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
fi
# Unmanaged windows avoid Wine's stalls on a display without a window
# manager; a real desktop manages them.
managed=Y
[[ $private_display == 0 ]] || managed=N
run_wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d "$managed" /f >/dev/null
run_wine reg add 'HKLM\SYSTEM\CurrentControlSet\Services\Serial\Parameters' /f >/dev/null

# The driver waits for the user on a real display, not on the private one.
driver_limit=300
[[ $private_display == 1 ]] || driver_limit=86400
windows_exe="Z:$(realpath "$exe" | sed 's#/#\\\\#g')"
shot="$work/main-window${lang:+-$lang}.png"
out="$work/driver.out"
hold="$work/driver-hold"
rm -f "$hold" "$out"
mkfifo "$hold"
{
    printf 'start "%s"\nwait-dialog main 30000\nrect\n' "$windows_exe"
    cat "$hold"
} | timeout "$driver_limit" env "${locale_env[@]}" wine "$driver" >"$out" 2>&1 &
driver_pid=$!
exec 5>"$hold"
rect=''
for ((i = 0; i < 300; i++)); do
    rect=$(tr -d '\r' <"$out" 2>/dev/null | sed -n 's/^rect //p')
    [[ -z $rect ]] || break
    kill -0 "$driver_pid" 2>/dev/null || break
    sleep 0.1
done
[[ -n $rect ]] || {
    cat "$out" >&2
    echo "run.sh: the main window did not appear" >&2
    exit 1
}
sleep 0.5
read -r x y w h <<<"$rect"
timeout 30 import -window root "$work/screen.png"
convert "$work/screen.png" -crop "${w}x${h}+${x}+${y}" +repage "$shot"
rm -f "$work/screen.png"
echo "$shot"

if [[ $private_display == 1 ]]; then
    printf 'click 2\nboxes-until-exit 30000\n' >&5
else
    echo "run.sh: cardinst is running on $DISPLAY; Quit it to end this script." >&2
    printf 'exit-code 86400000\n' >&5
fi
exec 5>&-
wait "$driver_pid"
rm -f "$hold"
