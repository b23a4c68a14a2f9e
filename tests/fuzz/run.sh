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
# The program allocates much for what it does: a smaller quarantine and
# shorter allocation stacks double the speed. Leaks are counted by the
# stand-in, whatever the quarantine.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:malloc_context_size=10}
exec "$fuzzer" -dict="$here/cardinst.dict" -artifact_prefix="$work/artifacts/" -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 "$@" "$work/corpus" "$here/corpus"
