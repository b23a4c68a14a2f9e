#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR/../../tools/wine
# Ends a run of the end-to-end suite: removes the template prefix, which
# setup.sh makes anew for each run. The locales are kept for the next run.
set -euo pipefail
. "$(dirname "$0")/../../tools/wine/lib.sh"

[[ -n ${CARDINST_WORK:-} ]] || die "CARDINST_WORK must be set"
if [[ -d $CARDINST_WORK/template ]]; then
    WINEPREFIX="$CARDINST_WORK/template" limited 20 wineserver -k >/dev/null 2>&1 || true
    rm -rf "$CARDINST_WORK/template"
fi
[[ ! -e $CARDINST_WORK/template ]] || die "cannot remove the template prefix"
log "template prefix removed"
