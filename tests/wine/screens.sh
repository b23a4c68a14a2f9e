#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR/../../tools/wine
# scripts/screenshots.sh on a few screens, into the build tree: the main
# window with cards in English, the free-address properties dialog and a
# refused entry's box in French. It writes those three files and no other,
# each a PNG of a window's size, neither black nor of one colour, and with
# no metadata chunk (no date, no path).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../tools/wine/lib.sh"

[[ -n ${CARDINST_WORK:-} ]] || die "CARDINST_WORK must be set"
out="$CARDINST_WORK/screens"
rm -rf "$out"
start=$SECONDS
bash "$here/../../scripts/screenshots.sh" -o "$out" en/main-cards fr/props-free fr/refused-entry ||
    die "screenshots.sh failed"
log "screenshots.sh took $((SECONDS - start)) s"

expected=$'en/main-cards.png\nfr/props-free.png\nfr/refused-entry.png'
written=$(cd "$out" && find . -type f | sed 's#^\./##' | sort)
[[ $written == "$expected" ]] || die "written: ${written//$'\n'/ }; expected: ${expected//$'\n'/ }"

for file in $expected; do
    read -r format width height mean deviation < <(identify -format '%m %w %h %[fx:mean] %[fx:standard_deviation]\n' "$out/$file")
    log "$file: $format ${width}x$height, mean $mean, deviation $deviation"
    [[ $format == PNG ]] || die "$file is not a PNG"
    ((width >= 150 && width <= 700 && height >= 80 && height <= 400)) || die "$file: ${width}x$height is no window's size"
    awk -v m="$mean" -v d="$deviation" 'BEGIN { exit !(m > 0.3 && d > 0.05) }' ||
        die "$file is dark or of one colour"
    if identify -verbose "$out/$file" | grep -E 'png:(text|tIME|eXIf)'; then
        die "$file holds metadata"
    fi
done
