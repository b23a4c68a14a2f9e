#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# cardinst's benchmarks, run by hand (never by CI). From anywhere:
#   bench/run.sh            all three parts below, in this order
#   bench/run.sh native     the program's steps on the Linux stand-in
#   bench/run.sh wine       start-up to a listed main window under Wine,
#                           against the bare floor and the same-calls floor
#   bench/run.sh loopback   the loopback test's time per port under Wine
# It builds what it needs (installing libbenchmark-dev, and through
# scripts/build.sh the Wine tool chain, when run as root) and leaves the
# results and raw data in build/bench/: results.md gathers the tables,
# machine.txt says where and when they were taken.
#
# Settings (environment):
#   BENCH_REPETITIONS  native repetitions of each benchmark, median kept (5)
#   BENCH_MIN_TIME     native minimum time of one repetition, seconds (0.2)
#   BENCH_ROUNDS       Wine start-up rounds per configuration (30)
#   BENCH_WARMUP       Wine start-up rounds run first and discarded (5)
#   BENCH_PORTS        Wine start-up configurations, ports ("0 64 256")
#   BENCH_LOOP_ROUNDS  loopback rounds, each testing both cards (10)
set -euo pipefail
bench=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$bench/.." && pwd)
out="$root/build/bench"
mkdir -p "$out"

REPETITIONS=${BENCH_REPETITIONS:-5}
MIN_TIME=${BENCH_MIN_TIME:-0.2}
ROUNDS=${BENCH_ROUNDS:-30}
WARMUP=${BENCH_WARMUP:-5}
PORT_COUNTS=${BENCH_PORTS:-"0 64 256"}
LOOP_ROUNDS=${BENCH_LOOP_ROUNDS:-10}

say() {
    printf '[%s] bench: %s\n' "$(date +%H:%M:%S)" "$*" >&2
}

# ---------------------------------------------------------------- builds

install_benchmark() {
    [[ -f /usr/include/benchmark/benchmark.h ]] && return
    [[ $(id -u) -eq 0 ]] || {
        say "run as root to install libbenchmark-dev"
        exit 1
    }
    say "installing libbenchmark-dev"
    DEBIAN_FRONTEND=noninteractive apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y libbenchmark-dev </dev/null
}

build_native() {
    install_benchmark
    nice -n 10 cmake -S "$root" -B "$out/native" -DCARDINST_BENCH=ON -DCARDINST_WERROR=ON \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
    nice -n 10 cmake --build "$out/native" -j 2
}

# The 64-bit program (and the packages Wine needs) through the project's
# own build script, then the launcher and the floors.
build_wine() {
    (cd "$root" && nice -n 10 scripts/build.sh --win64) >"$out/build-win64.log" 2>&1 || {
        tail -20 "$out/build-win64.log" >&2
        say "scripts/build.sh --win64 failed (see $out/build-win64.log)"
        exit 1
    }
    nice -n 10 cmake -S "$root" -B "$out/win64" -DCARDINST_BENCH=ON -DCARDINST_WERROR=ON \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" >/dev/null
    nice -n 10 cmake --build "$out/win64" -j 2
}

# ---------------------------------------------------------------- records

machine() {
    {
        echo "date: $(date -u '+%Y-%m-%d %H:%M UTC')"
        echo "cpu: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
        echo "cores: $(nproc)"
        echo "memory: $(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)"
        echo "kernel: $(uname -r)"
        echo "wine: $(wine --version 2>/dev/null || echo none)"
        echo "commit: $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)"
    } >"$out/machine.txt"
}

load() {
    cut -d' ' -f1-3 /proc/loadavg
}

# Appends a part's Markdown to results.md, between a heading and the load
# averages seen before and after it.
record() {
    local title=$1 file=$2 before=$3
    {
        echo "## $title"
        echo
        cat "$file"
        echo
        echo "Load average (1, 5, 15 min): $before before, $(load) after."
        echo
    } >>"$out/results.md"
}

# ---------------------------------------------------------------- native

run_native() {
    build_native
    local before
    before=$(load)
    say "native steps (load $before)"
    "$out/native/bench-steps" --benchmark_repetitions="$REPETITIONS" \
        --benchmark_report_aggregates_only=true --benchmark_min_time="$MIN_TIME" \
        --benchmark_out="$out/native.json" --benchmark_out_format=json \
        --table="$out/native.md"
    record "Native steps on the stand-in (median of $REPETITIONS repetitions)" "$out/native.md" \
        "$before"
}

# ---------------------------------------------------------------- Wine

# One Xvfb and one Wine prefix for a whole part, made as the end-to-end
# suite makes its template (make_prefix of tools/wine/lib.sh), with a
# persistent wineserver. lib.sh's cleanup stops them when the script ends.
WINE_READY=0
wine_session() {
    [[ $WINE_READY -eq 0 ]] || return 0
    build_wine
    export CARDINST_WORK="$out/wine"
    STORY_DIR="$CARDINST_WORK/session"
    # shellcheck source=../tools/wine/lib.sh
    . "$root/tools/wine/lib.sh"
    trap cleanup EXIT
    rm -rf "$STORY_DIR"
    mkdir -p "$STORY_DIR"
    build_locales "$CARDINST_WORK/locale"
    start_xvfb "$STORY_DIR"
    use_language en
    make_prefix "$STORY_DIR/prefix"
    wineserver -p
    WINE_READY=1
}

# The .reg text of n ports in cards of 8 free-address ports, as the native
# benchmarks seed them: keys Serial10000 up, COM3 up, card c at base
# 0x100 + 0x40 c, the model's interrupts in turn, Leader the card's first key.
ports_reg() {
    local n=$1
    ROOT_KEY='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Serial\Parameters' \
        awk -v n="$n" 'BEGIN {
        root = ENVIRON["ROOT_KEY"]
        split("3 4 5 6 7 9 10 11 12 15", irqs, " ")
        printf "REGEDIT4\n\n[%s]\n\n", root
        for (p = 0; p < n; p++) {
            card = int(p / 8); i = p % 8; base = 256 + 64 * card
            printf "[%s\\Serial%05d]\n", root, 10000 + p
            printf "\"DosDevices\"=\"COM%d\"\n", 3 + p
            printf "\"Interrupt\"=dword:%08x\n", irqs[card % 10 + 1]
            printf "\"PortAddress\"=dword:%08x\n", base + 8 * i
            printf "\"InterruptStatus\"=dword:%08x\n", base + 7
            printf "\"PortIndex\"=dword:%08x\n", i + 1
            printf "\"Model\"=\"MPB510-8\"\n"
            printf "\"Leader\"=\"Serial%05d\"\n\n", 10000 + card * 8
        }
    }'
}

reseed() {
    local file=$1
    wine_cmd reg delete "$PORTS_ROOT" /f >/dev/null 2>&1 || true
    seed_registry "$file"
}

# Median, quartiles and extremes of each label's times, and the ratios of
# the program's times to each floor's: ratio of medians and median of the
# ratios of one round (the three runs of a round are back to back).
summarise_startup() {
    awk -F, -v ports="$1" '
        function sort(a, k,   i, j, t) {
            for (i = 2; i <= k; i++)
                for (j = i; j > 1 && a[j - 1] > a[j]; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
        }
        function quantile(a, k, q,   x, lo) {
            x = 1 + (k - 1) * q; lo = int(x)
            return lo >= k ? a[k] : a[lo] + (x - lo) * (a[lo + 1] - a[lo])
        }
        NR > 1 && $1 >= 1 {
            count[$2]++; t[$2, count[$2]] = $3; at[$1, $2] = $3; rounds[$1] = 1
        }
        END {
            split("cardinst bare samecalls", order, " ")
            for (o = 1; o <= 3; o++) {
                label = order[o]; k = count[label]
                delete v
                for (i = 1; i <= k; i++) v[i] = t[label, i]
                sort(v, k)
                med[label] = quantile(v, k, 0.5); low[label] = v[1]
                printf "| %d | %s | %d | %.1f | %.1f–%.1f | %.1f–%.1f |\n", ports, label, k,
                    med[label], quantile(v, k, 0.25), quantile(v, k, 0.75), v[1], v[k]
            }
            for (f = 2; f <= 3; f++) {
                floor = order[f]; k = 0
                delete r
                for (round in rounds)
                    if ((round, "cardinst") in at && (round, floor) in at)
                        r[++k] = at[round, "cardinst"] / at[round, floor]
                sort(r, k)
                ratio[floor] = sprintf("%.3f× (rounds %.3f×, IQR %.3f–%.3f; minima %.3f×)",
                    med["cardinst"] / med[floor], quantile(r, k, 0.5),
                    quantile(r, k, 0.25), quantile(r, k, 0.75), low["cardinst"] / low[floor])
            }
            if (ports == 0) {
                goal = "≤ 1.03× the bare floor"; met = med["cardinst"] / med["bare"] <= 1.03
            } else {
                goal = "≤ 1.05× the same-calls floor"; met = med["cardinst"] / med["samecalls"] <= 1.05
            }
            printf "RATIO | %d | %s | %s | %s | %s |\n", ports, ratio["bare"], ratio["samecalls"],
                goal, met ? "yes" : "**no**"
        }' "$2"
}

# The registry calls that a program's own code makes, from Wine's relay
# trace: the calls of the thread that opens the ports root, returning into
# its executable's image. One line each: pointers shown as P, the key
# handle as K, texts, access masks and indexes as they are.
registry_calls() {
    local thread
    thread=$(grep -a -m1 -E '^[0-9a-f]+:Call advapi32\.RegOpenKeyExA\(.*Serial\\\\Parameters' "$1" |
        cut -d: -f1)
    [[ -n $thread ]] || return 0
    grep -a -E "^$thread:Call advapi32\.Reg[A-Za-z]+\(.* ret=140[0-9a-f]{6}\$" "$1" |
        awk '{
            sub(/^[0-9a-f]+:Call advapi32\./, ""); sub(/ ret=[0-9a-f]+$/, "")
            name = substr($0, 1, index($0, "(") - 1)
            n = split(substr($0, length(name) + 2, length($0) - length(name) - 2), arg, ",")
            line = name "(K"
            for (i = 2; i <= n; i++) {
                a = arg[i]; sub(/^0+/, "", a)
                if (a ~ /^[0-9a-f]+ /) { sub(/^[0-9a-f]+/, "P", a) }
                else if (a ~ /^[0-9a-f]+$/ && length(a) > 4) a = "P"
                else if (a == "") a = "0"
                line = line "," a
            }
            print line ")"
        }'
}

# The same-calls floor must make the very registry calls that cardinst
# makes while it loads: both are traced on 16 ports and compared.
check_same_calls() {
    local exe=$1 same=$2 launcher=$3 label program
    ports_reg 16 >"$STORY_DIR/ports-16.reg"
    reseed "$STORY_DIR/ports-16.reg"
    for label in cardinst samecalls; do
        program=$exe
        [[ $label == samecalls ]] && program=$same
        WINEDEBUG=+relay limited 300 env "${WINE_LOCALE[@]}" "$WINE64" "$launcher" startup 1 0 \
            "$label:2=$program" >/dev/null 2>"$STORY_DIR/relay-$label.txt" ||
            die "the launcher failed while tracing $label"
        registry_calls "$STORY_DIR/relay-$label.txt" >"$out/registry-calls-$label.txt"
        rm -f "$STORY_DIR/relay-$label.txt"
    done
    [[ $(grep -c '^RegQueryValueExA' "$out/registry-calls-cardinst.txt") -eq $((16 * 10)) ]] ||
        die "cardinst's trace does not hold ten value queries per port key"
    diff -u "$out/registry-calls-cardinst.txt" "$out/registry-calls-samecalls.txt" ||
        die "the same-calls floor no longer makes cardinst's registry calls"
    say "same registry calls: $(wc -l <"$out/registry-calls-cardinst.txt") calls on 16 ports"
}

run_wine() {
    wine_session
    local exe bare same launcher table="$out/wine.md" before n file
    exe=$(winpath "$root/build/win64/cardinst.exe")
    bare=$(winpath "$out/win64/floor-bare.exe")
    same=$(winpath "$out/win64/floor-samecalls.exe")
    launcher="$out/win64/bench-launcher.exe"
    check_same_calls "$exe" "$same" "$launcher"
    before=$(load)
    : >"$out/wine-rows.txt"
    for n in $PORT_COUNTS; do
        file="$STORY_DIR/ports-$n.reg"
        ports_reg "$n" >"$file"
        reseed "$file"
        say "start-up with $n ports: $WARMUP + $ROUNDS rounds (load $(load))"
        # Wine's services inherit the standard output of the program that
        # started them: a pipe would stay open after the launcher ends.
        limited 3600 env "${WINE_LOCALE[@]}" "$WINE64" "$launcher" startup "$ROUNDS" "$WARMUP" \
            "cardinst:$((n / 8))=$exe" "bare:0=$bare" "samecalls:$((n / 8))=$same" \
            >"$STORY_DIR/startup-$n.out" || die "the launcher failed on $n ports"
        tr -d '\r' <"$STORY_DIR/startup-$n.out" >"$out/startup-$n.csv"
        summarise_startup "$n" "$out/startup-$n.csv" >>"$out/wine-rows.txt"
    done
    {
        echo "Launch to a main window listing its cards, warm ($WARMUP rounds discarded," \
            "$ROUNDS measured, programs interleaved run by run), in ms:"
        echo
        echo "| ports | program | runs | median | IQR | min–max |"
        echo "|---:|---|---:|---:|---:|---:|"
        grep -v '^RATIO' "$out/wine-rows.txt"
        echo
        echo "Ratios of cardinst to each floor: median to median; in brackets the median" \
            "and IQR of the ratios within one round (its runs are back to back), and the" \
            "ratio of the fastest runs, the least disturbed on a busy machine. The goal is" \
            "judged on the ratio of medians:"
        echo
        echo "| ports | cardinst / bare floor | cardinst / same-calls floor | goal | met |"
        echo "|---:|---|---|---|:---:|"
        grep '^RATIO' "$out/wine-rows.txt" | sed 's/^RATIO //'
    } >"$table"
    cat "$table"
    record "Start-up under Wine" "$table" "$before"
}

# ---------------------------------------------------------------- loopback

run_loopback() {
    wine_session
    local exe launcher table="$out/loopback.md" before n
    exe=$(winpath "$root/build/win64/cardinst.exe")
    launcher="$out/win64/bench-launcher.exe"
    # A two-port card on COM5-COM6 and a four-port card on COM7-COM10, each
    # port a pseudo-terminal whose far end sends back what it receives.
    wine_cmd reg delete "$PORTS_ROOT" /f >/dev/null 2>&1 || true
    seed_ports <<'PORTS'
Serial10000 COM5 0x3f8 4 2SX510 Serial10000
Serial10001 COM6 0x2f8 4 2SX510 Serial10000
Serial10002 COM7 0x280 10 4SX510 Serial10002
Serial10003 COM8 0x288 10 4SX510 Serial10002
Serial10004 COM9 0x290 10 4SX510 Serial10002
Serial10005 COM10 0x298 10 4SX510 Serial10002
PORTS
    for n in 5 6 7 8 9 10; do
        serial_line "$n" loopback
    done
    before=$(load)
    say "loopback test: $LOOP_ROUNDS rounds of a 2-port and a 4-port card (load $before)"
    limited 1800 env "${WINE_LOCALE[@]}" "$WINE64" "$launcher" loopback "$LOOP_ROUNDS" "$exe" \
        COM5::2 COM7::4 >"$STORY_DIR/loopback.out" || die "the launcher failed on the loopback test"
    tr -d '\r' <"$STORY_DIR/loopback.out" >"$out/loopback.csv"
    awk -F, '
        function sort(a, k,   i, j, t) {
            for (i = 2; i <= k; i++)
                for (j = i; j > 1 && a[j - 1] > a[j]; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
        }
        NR > 1 { k = ++count[$3]; t[$3, k] = $4 }
        END {
            floor = 300 + 41 * 10 / 9600 * 1000
            print "From the Test click to the results box, each port with a loopback line;"
            print "floor per port: 300 ms read time-out + 41 bytes × 10 bits at 9600 baud"
            printf "= %.1f ms (on a pseudo-terminal, which has no line speed: 300 ms).\n\n", floor
            print "| card | runs | median | min–max | per port | per port / floor |"
            print "|---|---:|---:|---:|---:|---:|"
            for (p = 2; p <= 4; p += 2) {
                k = count[p]
                delete v
                for (i = 1; i <= k; i++) v[i] = t[p, i]
                sort(v, k)
                med[p] = k % 2 ? v[(k + 1) / 2] : (v[k / 2] + v[k / 2 + 1]) / 2
                printf "| %d ports | %d | %.1f ms | %.1f–%.1f ms | %.1f ms | %.3f× |\n", p, k,
                    med[p], v[1], v[k], med[p] / p, med[p] / p / floor
            }
            marginal = (med[4] - med[2]) / 2
            printf "\nEach further port (half the 4-port card'"'"'s median less the 2-port card'"'"'s): "
            printf "%.1f ms, %.3f× the floor, %.3f× the read time-out alone.\n",
                marginal, marginal / floor, marginal / 300
        }' "$out/loopback.csv" >"$table"
    cat "$table"
    record "Loopback test under Wine" "$table" "$before"
}

# ---------------------------------------------------------------- main

what=${1:-all}
case $what in
all | native | wine | loopback) ;;
*)
    echo "usage: bench/run.sh [native|wine|loopback]" >&2
    exit 2
    ;;
esac
machine
{
    echo "# cardinst benchmarks"
    echo
    sed 's/^/    /' "$out/machine.txt"
    echo
} >"$out/results.md"
case $what in
native) run_native ;;
wine) run_wine ;;
loopback) run_loopback ;;
all)
    run_native
    run_wine
    run_loopback
    ;;
esac
say "results in $out/results.md"
