#!/usr/bin/env bash
# The one test command: installs what is missing, builds everything, then
# runs every test (native unit and story tests, the binary checks and the
# end-to-end stories under Wine) and exits with CTest's status.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
start=$SECONDS
bash scripts/build.sh
echo "test.sh: built in $((SECONDS - start)) s" >&2
status=0
# Most Wine stories wait on the program rather than compute: one more test
# than there are cores keeps both busy.
ctest --test-dir build/native --output-on-failure --parallel $(($(nproc) + 1)) || status=$?
echo "test.sh: finished in $((SECONDS - start)) s with status $status" >&2
exit "$status"
