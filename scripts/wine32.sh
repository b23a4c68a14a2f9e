#!/usr/bin/env bash
# Makes this Debian 12 machine run 32-bit Windows programs under Wine, as
# root; does nothing when that already works, so it runs before every build.
#   - a kernel that runs 32-bit Linux programs itself needs nothing more;
#     otherwise it registers qemu-i386 (taken alone from the backports' qemu
#     user package: Debian 12's own is far too slow for Wine) for i386 ELF
#     programs with binfmt_misc. The registration is lost at each restart.
#   - the i386 architecture and wine32:i386, of the same version as wine64.
# The README's "What build.sh changes on the machine" says how to undo it.
set -euo pipefail

qemu=/usr/local/lib/cardinst/qemu-i386
entry=cardinst-i386
binfmt=/proc/sys/fs/binfmt_misc
backports_list=/etc/apt/sources.list.d/cardinst-backports.sources

say() {
    echo "wine32.sh: $*" >&2
}

need_root() {
    [[ $(id -u) -eq 0 ]] || {
        say "run as root to $1"
        exit 1
    }
}

# A static i386 ELF that only exits with status 0: ELF header, one program
# header loading the file at 0x08048000, then mov eax,1; xor ebx,ebx; int 0x80.
tiny_elf() {
    printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\10\64\0\0\0'
    printf '\0\0\0\0\0\0\0\0\64\0\40\0\1\0\0\0\0\0\0\0'
    printf '\1\0\0\0\0\0\0\0\0\200\4\10\0\200\4\10\135\0\0\0\135\0\0\0\5\0\0\0\0\20\0\0'
    printf '\270\1\0\0\0\61\333\315\200'
}

runs_i386() {
    local file status=0
    file=$(mktemp)
    tiny_elf >"$file"
    chmod +x "$file"
    "$file" 2>/dev/null || status=$?
    rm -f "$file"
    return "$status"
}

# The address and key of the Debian archive that this machine's own sources
# use for its release, as "URI KEYRING" (keyring may be empty).
debian_archive() {
    local codename=$1 file
    for file in /etc/apt/sources.list.d/*.sources; do
        [[ -f $file ]] || continue
        awk -v suite="$codename" '
            function emit() {
                if (uri != "" && has && !done) { print uri, key; done = 1; exit }
                uri = ""; key = ""; has = 0
            }
            /^[ \t]*$/ { emit(); next }
            $1 == "URIs:" { uri = $2 }
            $1 == "Signed-By:" { key = $2 }
            $1 == "Suites:" { for (i = 2; i <= NF; i++) if ($i == suite) has = 1 }
            END { emit(); exit !done }' "$file" && return
    done
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [[ -f $file ]] || continue
        sed -e 's/\[[^]]*\]//' "$file" |
            awk -v suite="$codename" '$1 == "deb" && $3 == suite { print $2; f = 1; exit } END { exit !f }' && return
    done
    return 1
}

install_qemu() {
    local codename archive uri key dir package file=''
    need_root "register qemu-i386 for 32-bit programs"
    if [[ ! -x $qemu ]]; then
        codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
        archive=$(debian_archive "$codename") || {
            say "no Debian archive for $codename in this machine's apt sources"
            exit 1
        }
        read -r uri key <<<"$archive"
        if [[ ! -f $backports_list ]]; then
            say "adding $codename-backports from $uri"
            {
                printf 'Types: deb\nURIs: %s\nSuites: %s-backports\nComponents: main\n' "$uri" "$codename"
                [[ -z $key ]] || printf 'Signed-By: %s\n' "$key"
            } >"$backports_list"
        fi
        apt-get update
        dir=$(mktemp -d)
        chmod 755 "$dir"
        # Only the one file is taken from the package: nothing is installed or
        # upgraded. qemu-user-static holds it up to 9.x, qemu-user since.
        for package in qemu-user-static qemu-user; do
            rm -rf "$dir/tree" "$dir"/*.deb
            (cd "$dir" && apt-get download -t "$codename-backports" "$package")
            dpkg-deb -x "$dir"/*.deb "$dir/tree"
            file=$(find "$dir/tree" -name 'qemu-i386*' -type f | sort | head -n 1)
            [[ -z $file ]] || break
        done
        [[ -n $file ]] || {
            say "no qemu-i386 in the backports' qemu-user packages"
            exit 1
        }
        mkdir -p "$(dirname "$qemu")"
        install -m 755 "$file" "$qemu"
        rm -rf "$dir"
    fi
    mountpoint -q "$binfmt" || mount -t binfmt_misc binfmt_misc "$binfmt"
    if [[ -e $binfmt/$entry ]]; then
        echo -1 >"$binfmt/$entry"
    fi
    # The i386 ELF magic and mask that qemu's own registrations use; F opens
    # the emulator now, so that it also serves inside other mount namespaces.
    printf '%s' ":$entry:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$qemu:F" \
        >"$binfmt/register"
    runs_i386 || {
        say "a static i386 program still does not run through $qemu"
        exit 1
    }
}

install_wine32() {
    local version
    need_root "install wine32:i386"
    version=$(dpkg-query -W -f '${Version}' wine64)
    export DEBIAN_FRONTEND=noninteractive
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    apt-get update
    apt-get install -y --no-remove "wine32:i386=$version" </dev/null
}

if ! runs_i386; then
    install_qemu
fi
if [[ ! -x /usr/lib/wine/wine ]]; then
    install_wine32
fi
