#!/usr/bin/env bash
# Makes the release zip, cardinst-<version>-windows.zip, with SHA256SUMS
# beside it, and prints the zip's path on its last line (the only line on
# standard output; the build's messages go to standard error).
#   scripts/package.sh
# It configures the package tree build/package and builds its `package`
# target: both programs in Release (in build/package/win64 and win32), the
# guides as Windows text files, then the zip through CPack.
# Environment, for the tests:
#   CARDINST_PACKAGE_DIR            the package tree (default build/package)
#   CARDINST_EXE64, CARDINST_EXE32  package these programs, build none
# Needs what scripts/build.sh installs (cmake, MinGW-w64, python3).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
tree=${CARDINST_PACKAGE_DIR:-build/package}

for tool in cmake x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-posix python3; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "package.sh: $tool is missing; scripts/build.sh (as root) installs it" >&2
        exit 1
    }
done

# No zip or sums of an earlier run may pass for this one's.
rm -f "$tree"/cardinst-*-windows.zip "$tree/SHA256SUMS"
cmake -S . -B "$tree" -DCARDINST_PACKAGE=ON -DCARDINST_WERROR=ON \
    -DCARDINST_EXE64="${CARDINST_EXE64:-}" -DCARDINST_EXE32="${CARDINST_EXE32:-}" >&2
# One program after the other, each built with as many jobs as cores.
CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc 2>/dev/null || echo 2)} \
    cmake --build "$tree" --target package --parallel 1 >&2

# CPack wrote SHA256SUMS for the zip it made.
[[ -s $tree/SHA256SUMS ]] || {
    echo "package.sh: no SHA256SUMS in $tree" >&2
    exit 1
}
name=$(awk 'NR == 1 { print $2 }' "$tree/SHA256SUMS")
(cd "$tree" && sha256sum --quiet -c SHA256SUMS) >&2
echo "$(cd "$tree" && pwd)/$name"
