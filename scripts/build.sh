#!/usr/bin/env bash
# Installs what the build and the tests need (Debian 12, as root; skipped
# when everything is there) and builds the 64-bit and 32-bit Windows
# programs, the fuzz target (clang), the native tests and the benchmarks
# (built only: bench/run.sh runs them by hand) into build/.
#   scripts/build.sh           install if needed, build all five
#   scripts/build.sh --win64   install if needed, build the 64-bit program
#   scripts/build.sh --win32   the same, and the 32-bit program
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

packages=(cmake make g++ libgtest-dev clang-format g++-mingw-w64-x86-64-posix
    g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
    mingw-w64-tools wine wine64 fonts-wine xvfb xdotool socat locales imagemagick python3
    python3-pefile clang-14 libclang-rt-14-dev libbenchmark-dev)

# Commands and files that the packages above provide.
missing_tools() {
    local tool
    for tool in cmake make g++ clang-format x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-posix \
        x86_64-w64-mingw32-objdump i686-w64-mingw32-objdump x86_64-w64-mingw32-windres \
        i686-w64-mingw32-windres wine wineserver wineboot Xvfb xdotool socat localedef import \
        convert timeout clang-14 clang++-14; do
        command -v "$tool" >/dev/null 2>&1 || echo "$tool"
    done
    [[ -f /usr/include/gtest/gtest.h ]] || echo gtest
    [[ -f /usr/include/benchmark/benchmark.h ]] || echo libbenchmark-dev
    [[ -f /usr/lib/python3/dist-packages/pefile.py ]] || echo python3-pefile
    [[ -f /usr/share/i18n/locales/fr_FR ]] || echo "fr_FR locale sources"
    [[ -x /usr/lib/wine/wine64 ]] || echo wine64
    [[ -x /usr/bin/python3 ]] || echo python3
    [[ -f /usr/share/wine/fonts/marlett.ttf ]] || echo "Wine's fonts"
    compgen -G "/usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null ||
        echo "libFuzzer (libclang-rt-14-dev)"
}

install_missing() {
    local missing
    missing=$(missing_tools | tr '\n' ' ')
    if [[ -z $missing ]]; then
        return
    fi
    echo "build.sh: installing packages (missing: $missing)" >&2
    [[ $(id -u) -eq 0 ]] || {
        echo "build.sh: run as root to install: ${packages[*]}" >&2
        exit 1
    }
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y "${packages[@]}" </dev/null
    missing=$(missing_tools | tr '\n' ' ')
    [[ -z $missing ]] || {
        echo "build.sh: still missing after installing: $missing" >&2
        exit 1
    }
}

jobs=$(nproc 2>/dev/null || echo 2)

build_windows() {
    local bits=$1
    cmake -S . -B "build/win$bits" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-mingw$bits.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCARDINST_WERROR=ON
    cmake --build "build/win$bits" -j "$jobs"
}

install_missing
# 32-bit Wine for the 32-bit program's stories; once wine32 is installed,
# every Wine program needs it, so this runs even for --win64.
bash scripts/wine32.sh
build_windows 64
if [[ ${1:-} == --win64 ]]; then
    exit 0
fi
build_windows 32
if [[ ${1:-} == --win32 ]]; then
    exit 0
fi
# The fuzz target: the program and the stand-in under libFuzzer, with clang.
cmake -S . -B build/fuzz -DCARDINST_FUZZ=ON -DCARDINST_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14
cmake --build build/fuzz -j "$jobs"
cmake -S . -B build/native -DCARDINST_WERROR=ON \
    -DCARDINST_EXE64="$root/build/win64/cardinst.exe" \
    -DCARDINST_EXE32="$root/build/win32/cardinst.exe" \
    -DCARDINST_DRIVER64="$root/build/win64/cardinst-driver.exe" \
    -DCARDINST_FUZZER_EXE="$root/build/fuzz/cardinst_fuzz"
cmake --build build/native -j "$jobs"
# The benchmarks' two trees, as bench/run.sh configures them: built so that a
# change of the program that breaks them (bench/wine/samecalls.cpp repeats
# the loader's calls) shows at once; never run here.
for tree in native win64; do
    toolchain=()
    [[ $tree == native ]] || toolchain=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake")
    cmake -S . -B "build/bench/$tree" -DCARDINST_BENCH=ON -DCARDINST_WERROR=ON -DCMAKE_BUILD_TYPE=Release \
        "${toolchain[@]}"
    cmake --build "build/bench/$tree" -j "$jobs"
done
