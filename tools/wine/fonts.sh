#!/usr/bin/env bash
# Puts Wine's Marlett font into a Wine prefix's Fonts folder. Wine draws the
# caption buttons (minimise, maximise, close) with it; a prefix made by
# wineboot on Debian lacks it, and the buttons then show the letters 0, 1
# and r instead.
#   tools/wine/fonts.sh <prefix>
set -euo pipefail
prefix=${1:?usage: tools/wine/fonts.sh <prefix>}

# Wine's own fonts come with its packages (fonts-wine on Debian); a Wine
# built from source keeps them in its share folder.
find_marlett() {
    local file wine_bin
    wine_bin=$(command -v wine 2>/dev/null || true)
    for file in "$(dpkg -L fonts-wine wine64 wine libwine 2>/dev/null | grep -m1 '/marlett\.ttf$' || true)" \
        ${wine_bin:+"$(dirname "$(realpath "$wine_bin")")/../share/wine/fonts/marlett.ttf"} \
        /usr/share/wine/fonts/marlett.ttf /usr/local/share/wine/fonts/marlett.ttf \
        /usr/lib/wine/fonts/marlett.ttf /opt/wine*/share/wine/fonts/marlett.ttf; do
        if [[ -f $file ]]; then
            printf '%s\n' "$file"
            return
        fi
    done
}

font=$(find_marlett)
[[ -n $font ]] || {
    echo "fonts.sh: Wine's marlett.ttf not found (Debian: apt-get install fonts-wine)" >&2
    exit 1
}
[[ -d $prefix/drive_c/windows ]] || {
    echo "fonts.sh: $prefix is not a Wine prefix" >&2
    exit 1
}
mkdir -p "$prefix/drive_c/windows/Fonts"
cp "$font" "$prefix/drive_c/windows/Fonts/marlett.ttf"
