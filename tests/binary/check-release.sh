#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR/../../tools/wine
# Both release builds of cardinst.exe fit in 36 KiB and carry no link time,
# and building the same sources again, in another folder, gives the same
# bytes.
set -euo pipefail
. "$(dirname "$0")/../../tools/wine/lib.sh" # log, die
root=$(cd "$(dirname "$0")/../.." && pwd)

[[ -n ${CARDINST_EXE:-} && -n ${CARDINST_EXE32:-} && -n ${CARDINST_WORK:-} ]] ||
    die "CARDINST_EXE, CARDINST_EXE32 and CARDINST_WORK must be set"
readonly LIMIT=36864

# The header's TimeDateStamp: four bytes, eight bytes into the PE header
# whose offset is at 0x3C.
link_time() {
    local header
    header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    od -An -tu4 -j$((header + 8)) -N4 "$1" | tr -d ' '
}

again="$CARDINST_WORK/release-again"
rm -rf "$again"
mkdir -p "$again"
for bits in 64 32; do
    if [[ $bits == 64 ]]; then exe=$CARDINST_EXE; else exe=$CARDINST_EXE32; fi
    size=$(stat -c %s "$exe")
    ((size <= LIMIT)) || die "$exe has $size bytes, more than $LIMIT"
    [[ $(link_time "$exe") == 0 ]] || die "$exe carries a link time"
    start=$SECONDS
    cmake -S "$root" -B "$again/win$bits" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw$bits.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCARDINST_WERROR=ON >"$again/configure$bits.log" 2>&1 ||
        die "configuring again failed (see $again/configure$bits.log)"
    cmake --build "$again/win$bits" --target cardinst -j 2 >"$again/build$bits.log" 2>&1 ||
        die "building again failed (see $again/build$bits.log)"
    cmp "$exe" "$again/win$bits/cardinst.exe" || die "$exe differs from the same sources built again"
    log "$exe: $size bytes, no link time, built again alike in $((SECONDS - start)) s"
done
rm -rf "$again"
log "PASS"
