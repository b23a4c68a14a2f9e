#!/usr/bin/env bash
# Runs the fuzz target from the checked-in seed corpus; what it learns goes
# to a work folder, never into the corpus:
#   tests/fuzz/run.sh [--fresh] FUZZER WORK [libFuzzer options...]
# --fresh empties WORK first. Exits nonzero when an input breaks a rule, a
# sanitizer fires or memory leaks; the input is then in WORK/artifacts/.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
fresh=0
if [[ ${1:-} == --fresh ]]; then
    fresh=1
    shift
fi
fuzzer=$1 work=$2
shift 2
if ((fresh)); then
    rm -rf "$work"
fi
mkdir -p "$work/corpus" "$work/artifacts"
# The stand-in allocates much for what the program does: a smaller
# quarantine and shorter allocation stacks make the runs twice as fast. The
# stand-in counts the program's unfreed blocks after each input, exactly and
# whatever the quarantine, so LeakSanitizer's slow pass per input is off.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:malloc_context_size=10}
exec "$fuzzer" -dict="$here/cardinst.dict" -artifact_prefix="$work/artifacts/" -timeout=10 \
    -rss_limit_mb=2048 -detect_leaks=0 -print_final_stats=1 "$@" "$work/corpus" "$here/corpus"
