#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR/../../tools/wine
# Prepares one run of the end-to-end suite: the private locales and the
# template Wine prefix that every story copies.
set -euo pipefail
. "$(dirname "$0")/../../tools/wine/lib.sh"

[[ -n ${CARDINST_WORK:-} ]] || die "CARDINST_WORK must be set"
mkdir -p "$CARDINST_WORK"
trap cleanup EXIT
start=$SECONDS
build_locales "$CARDINST_WORK/locale"
log "locales ready in $((SECONDS - start)) s"
start_xvfb "$CARDINST_WORK"
rm -rf "$CARDINST_WORK/template"
make_prefix "$CARDINST_WORK/template"
log "template prefix ready in $((SECONDS - start)) s"
