#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR/../../tools/wine
# Texts longer than their areas, from port keys with overlong DosDevices
# and Model values: the card line is cut to 99 characters, the test
# results to 4999 and each conflict message to 199, exactly where the
# program's areas end. The expected texts are composed here from the
# formats and the seeded values, then cut. In English and in French.
set -euo pipefail
. "$(dirname "$0")/../../tools/wine/lib.sh"

# A name of exactly length characters: the prefix, then a run of letters
# and digits, so that a cut one character off shows.
long_name() {
    local prefix=$1 length=$2 run=abcdefghijklmnopqrstuvwxyz0123456789 text
    text=$prefix
    while ((${#text} < length)); do
        text+=$run
    done
    printf '%s' "${text:0:length}"
}

# A UTF-8 text cut as the program cuts it: to its first n characters in
# code page 1252, printed back in UTF-8. A text that needs no cut fails the
# story, which is about cuts.
cut_at() {
    local n=$1 text LC_ALL=C # bytes are characters in code page 1252
    text=$(iconv -f UTF-8 -t CP1252 && printf .)
    text=${text%.}
    ((${#text} > n)) || die "a text of ${#text} characters needs no cut at $n"
    text=$(printf '%s' "${text:0:n}" | iconv -f CP1252 -t UTF-8 && printf .)
    printf '%s' "${text%.}"
}

# The card's first port holds the line; its second port shares its name
# and address with a port of no card (Serial10099), which gives the two
# error conflicts; the other ports make the results overflow.
model=$(long_name TORVIN- 80)
first=$(long_name COM00- 60)
shared=$(long_name COM01- 140)
names=("$first" "$shared")
for ((i = 2; i < 25; i++)); do
    names+=("$(long_name "COM$(printf %02d "$i")-" 180)")
done
ports=$(
    for ((i = 0; i < ${#names[@]}; i++)); do
        printf 'Serial%05d %s %#x 5 %s Serial10000\n' $((10000 + i)) "${names[i]}" $((0x100 + 8 * i)) "$model"
    done
    printf 'Serial10099 %s 0x108 7 - -\n' "$shared"
)

begin_story cuts
seed_ports <<<"$ports"

line=$(printf '%s: %s, base %xH, IRQ%d' "$first" "$model" 0x100 5 | cut_at 99)

for lang in en fr; do
    use_language "$lang"
    conflict=$(text "$lang" conflict_caption)
    results=$(for name in "${names[@]}"; do
        text "$lang" not_installed "$name"
        echo
    done | cut_at 4999)
    results=${results//$'\n'/\\n}
    name_text=$(text "$lang" duplicate_name_text "$shared" Serial10001 Serial10099 | cut_at 199)
    address_text=$(text "$lang" duplicate_address_text 108 "$shared" "$shared" | cut_at 199)
    run_program "cuts-$lang" <<SCRIPT
wait-dialog main
expect-list IDC_CARDLIST "$line"
select IDC_CARDLIST 0
click IDC_TEST
expect-box "$(text "$lang" results_caption)" "$results" none none
wait-dialog main
click IDC_QUIT
expect-box "$conflict" "$name_text" error none
expect-box "$conflict" "$address_text" error none
$(reminder_then_exit "$lang" "IRQ5, IRQ7")
SCRIPT
done
