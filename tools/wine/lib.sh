# shellcheck shell=bash
# Helpers for running cardinst under Wine, shared by the end-to-end stories
# (tests/wine), scripts/run.sh, scripts/screenshots.sh and bench/run.sh;
# sourced. It sources texts.sh beside it, the program's texts.
#
# Environment (set by CTest, see tests/wine/CMakeLists.txt):
#   CARDINST_EXE     the cardinst.exe under test, 64-bit or 32-bit
#   CARDINST_ARCH    x64 or x86: which of the two it is
#   CARDINST_DRIVER  the 64-bit cardinst-driver.exe
#   CARDINST_WORK    the suite's work folder in the build tree; setup.sh puts
#                    the private locales and the template prefix there
# Everything a story makes stays in $CARDINST_WORK/<story> (x86/<story> for
# the 32-bit program); it never uses ~/.wine. A story stops what it started
# (Xvfb, socat, the driver, its wineserver) on exit.

set -euo pipefail
export WINEDEBUG=-all WINEDLLOVERRIDES='winemenubuilder.exe=d'

readonly PORTS_ROOT='HKLM\SYSTEM\CurrentControlSet\Services\Serial\Parameters'
readonly SERIAL_KEY='HKLM\SYSTEM\CurrentControlSet\Services\Serial'

# The 64-bit loader, for the driver and Wine's own programs: with 32-bit
# Wine installed, the wine wrapper would start the 32-bit loader first (an
# emulated one on some machines) only for it to hand over to this one.
WINE64=/usr/lib/wine/wine64
[[ -x $WINE64 ]] || WINE64=wine

# Time limits, in seconds. Whatever the program or Wine is expected to do
# gets PROGRAM_WAIT, the driver's kDefaultWait, so that a loaded machine
# fails no story; a whole driver script gets DRIVER_WAIT.
readonly PROGRAM_WAIT=60
readonly DRIVER_WAIT=180

STARTED_PIDS=()
STORY_PREFIXES=()

log() {
    printf '[%s] %s\n' "$(date +%H:%M:%S)" "$*" >&2
}

die() {
    log "FAIL: $*"
    exit 1
}

# Runs a command with a time limit, the first argument, in seconds; a
# command that overruns fails.
limited() {
    timeout --kill-after=5 "$@"
}

# Stops what this shell started: the wineserver of each prefix, then the
# Xvfb and socat processes, each by its pid.
cleanup() {
    local status=$? prefix pid
    for prefix in "${STORY_PREFIXES[@]}"; do
        WINEPREFIX=$prefix limited "$PROGRAM_WAIT" wineserver -k >/dev/null 2>&1 || true
    done
    for pid in "${STARTED_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${STARTED_PIDS[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    # A story that passed does not need its copy of the prefix any more; a
    # failed one keeps it for inspection.
    if [[ $status -eq 0 && -n ${STORY_COPY:-} ]]; then
        rm -rf "$STORY_COPY"
        log PASS
    fi
    exit "$status"
}

# Starts a private Xvfb on a free display chosen by the server itself.
start_xvfb() {
    local dir=$1 fifo number=''
    fifo="$dir/xvfb-display"
    rm -f "$fifo"
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >"$dir/xvfb.log" 2>&1 &
    STARTED_PIDS+=("$!")
    read -r -t "$PROGRAM_WAIT" number <"$fifo" || true
    rm -f "$fifo"
    [[ -n $number ]] || die "Xvfb did not start (see $dir/xvfb.log)"
    export DISPLAY=":$number"
    log "Xvfb on $DISPLAY (pid ${STARTED_PIDS[-1]})"
}

# The locales Wine takes its language from, built once per suite.
build_locales() {
    local dir=$1 name
    mkdir -p "$dir"
    for name in en_US fr_FR; do
        if [[ ! -f $dir/$name.UTF-8/LC_CTYPE ]]; then
            localedef -i "$name" -f UTF-8 "$dir/$name.UTF-8" ||
                [[ -f $dir/$name.UTF-8/LC_CTYPE ]] || die "localedef $name failed"
        fi
    done
}

# Selects the language of the Windows programs started from now on: en or
# fr. The shell itself keeps its own locale.
WINE_LOCALE=()
use_language() {
    local -A locales=([en]=en_US.UTF-8 [fr]=fr_FR.UTF-8)
    local locale=${locales[$1]:?unknown language $1}
    WINE_LOCALE=("LOCPATH=$CARDINST_WORK/locale" "LANG=$locale" "LC_ALL=$locale")
}

# The Windows path of a file, through the Z: drive that maps /.
winpath() {
    printf 'Z:%s' "$(realpath "$1" | tr / "\\\\")"
}

wine_cmd() {
    limited "$PROGRAM_WAIT" env "${WINE_LOCALE[@]}" "$WINE64" "$@"
}

# Makes a Wine prefix, and sets WINEPREFIX: windows unmanaged (without a
# window manager Wine stalls whenever a dialog closes), no debugger on a
# crash, a 32-bit side that runs, and the Marlett font that draws the caption
# buttons (fonts-wine on Debian; wineboot leaves it out).
make_prefix() {
    local log status=0 font wine_bin
    export WINEPREFIX=$1
    STORY_PREFIXES+=("$WINEPREFIX")
    log="$(dirname "$WINEPREFIX")/wineboot.log"
    limited 180 "$WINE64" wineboot -i >"$log" 2>&1 || die "wineboot failed (see $log)"
    wine_cmd reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null
    wine_cmd reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
    wine_cmd 'C:\windows\syswow64\cmd.exe' /c exit 7 || status=$?
    [[ $status -eq 7 ]] || die "the prefix runs no 32-bit program (scripts/wine32.sh sets that up)"
    limited "$PROGRAM_WAIT" wineserver -w
    wine_bin=$(realpath "$(command -v wine)")
    for font in /usr/share/wine/fonts/marlett.ttf "${wine_bin%/bin/*}/share/wine/fonts/marlett.ttf" ''; do
        [[ ! -f $font ]] || break
    done
    [[ -n $font ]] || die "Wine's marlett.ttf not found (Debian: apt-get install fonts-wine)"
    cp "$font" "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf"
}

# Begins a story: a fresh folder, a display, and a copy of the template
# prefix with its own persistent wineserver. Sets STORY_DIR and WINEPREFIX.
begin_story() {
    local name=$1
    [[ -n ${CARDINST_WORK:-} && -n ${CARDINST_EXE:-} && -n ${CARDINST_DRIVER:-} ]] ||
        die "CARDINST_WORK, CARDINST_EXE and CARDINST_DRIVER must be set"
    [[ -d $CARDINST_WORK/template/drive_c ]] || die "no template prefix: run setup.sh first"
    STORY_DIR="$CARDINST_WORK/$name"
    [[ ${CARDINST_ARCH:-x64} == x64 ]] || STORY_DIR="$CARDINST_WORK/$CARDINST_ARCH/$name"
    rm -rf "$STORY_DIR"
    mkdir -p "$STORY_DIR"
    trap cleanup EXIT
    start_xvfb "$STORY_DIR"
    STORY_COPY="$STORY_DIR/prefix"
    cp -a "$CARDINST_WORK/template" "$STORY_COPY"
    export WINEPREFIX=$STORY_COPY
    STORY_PREFIXES+=("$WINEPREFIX")
    wineserver -p
    use_language en
    log "story $name in $STORY_DIR"
}

# Imports a .reg file (REGEDIT4, UTF-8 text limited to ASCII) into the prefix.
seed_registry() {
    wine_cmd regedit /s "$(winpath "$1")" || die "regedit could not import $1"
}

ensure_ports_root() {
    wine_cmd reg add "$PORTS_ROOT" /f >/dev/null || die "cannot create the ports root"
}

# A delete that fails (once seen right after a scene that ran the test) is
# tried again, for as long as the program is given for anything.
delete_ports_root() {
    local tries=0
    while wine_cmd reg query "$PORTS_ROOT" >/dev/null 2>&1; do
        ((tries++ < PROGRAM_WAIT)) || die "the ports root is still there"
        wine_cmd reg delete "$SERIAL_KEY" /f >/dev/null 2>&1 || sleep 1
    done
}

# Prints the registry below a key, recursively, without CR.
reg_dump() {
    wine_cmd reg query "$1" /s 2>/dev/null | tr -d '\r'
}

# The line "start <exe>" for driver scripts.
start_line() {
    printf 'start "%s"\n' "$(winpath "$CARDINST_EXE" | sed 's/\\/\\\\/g')"
}

# Runs the program under the driver, fed as it goes from a fifo while the
# shell reads what it has printed: to picture a window it has shown, or to
# act beside the program between two commands. The script and the output
# are kept in $STORY_DIR as <label>.script and <label>.txt.
#   session_begin <label> [time limit in seconds]; send <line>...; session_end
session_begin() {
    local fifo="$STORY_DIR/$1.fifo"
    SESSION=$1 SEEN=0
    rm -f "$fifo" "$STORY_DIR/$SESSION.script"
    mkfifo "$fifo"
    log "driver: $SESSION"
    timeout --kill-after=5 "${2:-$DRIVER_WAIT}" env "${WINE_LOCALE[@]}" "$WINE64" "$CARDINST_DRIVER" \
        <"$fifo" >"$STORY_DIR/$SESSION.out" 2>&1 &
    DRIVER_PID=$!
    STARTED_PIDS+=("$DRIVER_PID")
    exec {DRIVER_IN}>"$fifo"
    rm -f "$fifo"
    # A write to a driver that has ended fails instead of killing the shell.
    trap '' PIPE
    send "$(start_line)"
}

send() {
    printf '%s\n' "$@" | tee -a "$STORY_DIR/$SESSION.script" >&"$DRIVER_IN" ||
        session_failed "the driver has ended"
}

session_failed() {
    tr -d '\r' <"$STORY_DIR/$SESSION.out" | sed 's/^/  < /' >&2
    die "driver script '$SESSION': $1"
}

# Ends the script and shows it with the output; fails unless the driver
# ends with the status given (0 by default).
session_end() {
    local want=${1:-0} status=0 pid kept=()
    exec {DRIVER_IN}>&-
    wait "$DRIVER_PID" || status=$?
    # Ended and reaped: its pid is no longer one to stop.
    for pid in "${STARTED_PIDS[@]}"; do
        [[ $pid == "$DRIVER_PID" ]] || kept+=("$pid")
    done
    STARTED_PIDS=("${kept[@]}")
    tr -d '\r' <"$STORY_DIR/$SESSION.out" >"$STORY_DIR/$SESSION.txt"
    sed 's/^/  > /' "$STORY_DIR/$SESSION.script" >&2
    sed 's/^/  < /' "$STORY_DIR/$SESSION.txt" >&2
    ((status == want)) || die "driver script '$SESSION' ended with status $status, not $want"
}

# The whole script at once, from standard input: run_program <label> [status]
run_program() {
    session_begin "$1"
    send "$(cat)"
    session_end "${2:-}"
}

# Waits for the driver's first line after those awaited before that matches
# the extended regular expression given, and sets LINE to it.
await_line() {
    local i found
    for ((i = 0; i < 10 * PROGRAM_WAIT; i++)); do
        found=$(tr -d '\r' <"$STORY_DIR/$SESSION.out" |
            awk -v from="$SEEN" -v re="$1" 'NR > from && $0 ~ re { print NR " " $0; exit }')
        if [[ -n $found ]]; then
            SEEN=${found%% *} LINE=${found#* }
            return
        fi
        if grep -q '^FAIL' "$STORY_DIR/$SESSION.out" || ! kill -0 "$DRIVER_PID" 2>/dev/null; then
            session_failed "the driver stopped before printing $1"
        fi
        sleep 0.1
    done
    session_failed "no line $1 within $PROGRAM_WAIT s"
}

# Saves the window whose rectangle the driver prints next ("rect x y w h"
# or "box-rect x y w h") as a PNG without metadata (no date, no path), in an
# 8-bit palette when it has at most 256 colours, which it usually has.
picture() {
    local file=$1 raw="$STORY_DIR/capture.png" x y w h colours depth=24
    await_line '^(box-)?rect '
    read -r _ x y w h <<<"$LINE"
    mkdir -p "$(dirname "$file")"
    limited "$PROGRAM_WAIT" import -window root -crop "${w}x${h}+${x}+${y}" "$raw"
    colours=$(identify -format '%k' "$raw")
    ((colours > 256)) || depth=8
    convert "$raw" +repage -strip "PNG$depth:$file"
    rm -f "$raw"
    log "$file: ${w}x${h}, $colours colours"
}

# A serial line for COM<n> of the prefix, on a pseudo-terminal served by
# socat. Kinds: loopback (what is sent comes back) or open (no connector:
# what is sent is read and dropped).
serial_line() {
    local n=$1 kind=$2 link
    link="$STORY_DIR/ttyV$n"
    # Each socat runs as a simple background command, so that $! is its pid.
    case $kind in
    loopback)
        socat "PTY,link=$link,raw,echo=0" 'EXEC:cat,pty,raw,echo=0' >"$STORY_DIR/socat$n.log" 2>&1 &
        ;;
    open)
        socat -u "PTY,link=$link,raw,echo=0" 'OPEN:/dev/null' >"$STORY_DIR/socat$n.log" 2>&1 &
        ;;
    *) die "unknown serial line kind $kind" ;;
    esac
    STARTED_PIDS+=("$!")
    local i
    for ((i = 0; i < 10 * PROGRAM_WAIT; i++)); do
        [[ -e $link ]] && break
        sleep 0.1
    done
    [[ -e $link ]] || die "socat did not make $link"
    ln -sf "$link" "$WINEPREFIX/dosdevices/com$n"
}

# Writes the .reg text of one port key to standard output:
#   port_entry <key> <DosDevices> <PortAddress> <Interrupt> <Model|-> <Leader|->
# Numbers are given in C notation (0x3f8, 10); "-" leaves a value out.
port_entry() {
    local key=$1 name=$2 address=$3 irq=$4 model=$5 leader=$6
    printf '[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Serial\\Parameters\\%s]\n' "$key"
    printf '"DosDevices"="%s"\n' "$name"
    printf '"Interrupt"=dword:%08x\n' "$((irq))"
    printf '"PortAddress"=dword:%08x\n' "$((address))"
    [[ $model == - ]] || printf '"Model"="%s"\n' "$model"
    [[ $leader == - ]] || printf '"Leader"="%s"\n' "$leader"
    printf '\n'
}

# Seeds the ports root with the port entries read from standard input, one
# "key name address irq model leader" line each (see port_entry).
seed_ports() {
    local file="$STORY_DIR/seed.reg" key name address irq model leader
    {
        printf 'REGEDIT4\n\n'
        printf '[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Serial\\Parameters]\n\n'
        while read -r key name address irq model leader; do
            [[ -n $key ]] || continue
            port_entry "$key" "$name" "$address" "$irq" "$model" "$leader"
        done
    } >"$file"
    seed_registry "$file"
}

# Every value of the port keys, one "key value type data" line each, sorted.
ports_table() {
    reg_dump "$PORTS_ROOT" | awk '
        /^HKEY_/ { n = split($0, part, "\\"); key = part[n]; next }
        /^    / && key != "Parameters" {
            line = $0; sub(/^    /, "", line)
            split(line, f, /    /)
            print key, f[1], f[2], f[3]
        }' | sort
}

# The ports_table lines of the port keys read from standard input, one
# "key name address irq model leader" line each (as seed_ports reads them).
port_rows() {
    local key name address irq model leader
    while read -r key name address irq model leader; do
        printf '%s DosDevices REG_SZ %s\n%s PortAddress REG_DWORD %#x\n' "$key" "$name" "$key" "$address"
        printf '%s Interrupt REG_DWORD %#x\n' "$key" "$irq"
        [[ $model == - ]] || printf '%s Model REG_SZ %s\n' "$key" "$model"
        [[ $leader == - ]] || printf '%s Leader REG_SZ %s\n' "$key" "$leader"
    done
}

# Compares the port keys' values (ports_table) with the lines on standard
# input, in any order; both are kept in $STORY_DIR as <label>.txt and
# <label>.expected.
expect_ports() {
    local label=$1
    sort >"$STORY_DIR/$label.expected"
    ports_table >"$STORY_DIR/$label.txt"
    if ! diff -u "$STORY_DIR/$label.expected" "$STORY_DIR/$label.txt" >"$STORY_DIR/$label.diff"; then
        cat "$STORY_DIR/$label.diff" >&2
        die "$label differs from what was expected"
    fi
    log "$label as expected"
}

# shellcheck source-path=SCRIPTDIR
. "$(dirname "${BASH_SOURCE[0]}")/texts.sh"
