#!/usr/bin/env bash
# Runs the fuzz target from the checked-in seed corpus; what it learns goes
# to a work folder, never into the corpus:
#   tests/fuzz/run.sh [--fresh] [--replay ASAN_FUZZER] FUZZER WORK [libFuzzer options...]
# --fresh empties WORK first; --replay then runs every input of both corpora
# once more through the target built with ASan. Exits nonzero when an input
# breaks a rule, a sanitizer fires or memory leaks; the input is then in
# WORK/artifacts/.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
fresh=0 replay=
while [[ ${1:-} == --fresh || ${1:-} == --replay ]]; do
    [[ $1 == --fresh ]] && fresh=1 || { replay=$2 && shift; }
    shift
done
fuzzer=$1 work=$2
shift 2
if ((fresh)); then
    rm -rf "$work"
fi
mkdir -p "$work/corpus" "$work/artifacts"
# The stand-in counts the program's unfreed blocks after each input, so
# LeakSanitizer's slow pass per input is off; under ASan a smaller
# quarantine and shorter allocation stacks make the runs twice as fast.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:malloc_context_size=10}
options=(-dict="$here/cardinst.dict" -artifact_prefix="$work/artifacts/" -timeout=10
    -rss_limit_mb=2048 -detect_leaks=0)
"$fuzzer" "${options[@]}" -print_final_stats=1 "$@" "$work/corpus" "$here/corpus"
if [[ -n $replay ]]; then
    "$replay" "${options[@]}" -runs=0 "$work/corpus" "$here/corpus"
fi
