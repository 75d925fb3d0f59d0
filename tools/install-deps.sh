#!/bin/sh
# Installs the Debian packages that the build and the tests of the given
# targets (preset names; all of them when none is given) need, if any are
# missing: the base tools, and each cross target's compiler and qemu-user.
# As root it installs them with apt-get; otherwise it names them and fails,
# so that nothing half-builds. Recommended packages are left out: the build
# uses none of them, and they would triple the download.
#
#     tools/install-deps.sh                  every target
#     tools/install-deps.sh linux-armel      the base tools and armel's compiler
set -eu

all="native windows windows-x86 linux-i386 linux-aarch64 linux-armhf linux-riscv64 linux-s390x
linux-armel linux-mipsel linux-mips64el linux-ppc64el
linux-ppc64 linux-mips linux-powerpc linux-sparc64 linux-m68k linux-hppa linux-alpha"

# The GNU triple of a Linux cross target: its compilers are g++-TRIPLE.
triple() {
    case "$1" in
    linux-i386) echo i686-linux-gnu ;;
    linux-aarch64) echo aarch64-linux-gnu ;;
    linux-armhf) echo arm-linux-gnueabihf ;;
    linux-riscv64) echo riscv64-linux-gnu ;;
    linux-s390x) echo s390x-linux-gnu ;;
    linux-armel) echo arm-linux-gnueabi ;;
    linux-mipsel) echo mipsel-linux-gnu ;;
    linux-mips64el) echo mips64el-linux-gnuabi64 ;;
    linux-ppc64el) echo powerpc64le-linux-gnu ;;
    linux-ppc64) echo powerpc64-linux-gnu ;;
    linux-mips) echo mips-linux-gnu ;;
    linux-powerpc) echo powerpc-linux-gnu ;;
    linux-sparc64) echo sparc64-linux-gnu ;;
    linux-m68k) echo m68k-linux-gnu ;;
    linux-hppa) echo hppa-linux-gnu ;;
    linux-alpha) echo alpha-linux-gnu ;;
    *) echo "install-deps.sh: unknown target '$1'; targets: $(echo $all)" >&2; exit 2 ;;
    esac
}

packages="cmake g++ make googletest libgtest-dev python3 python3-cffi pkgconf valgrind dpkg-dev file"
for preset in ${*:-$all}; do
    case "$preset" in
    native) ;;
    windows) packages="$packages g++-mingw-w64-x86-64 wine wine64" ;;
    # 32-bit Wine in an i386 Debian root where the machine has none.
    windows-x86) packages="$packages g++-mingw-w64-i686-posix wine debootstrap bubblewrap" ;;
    *) packages="$packages qemu-user g++-$(triple "$preset")" ;;
    esac
done

missing=""
for package in $packages; do
    case " $missing " in *" $package "*) continue ;; esac
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "quellot needs these Debian packages, which are not installed:$missing" >&2
    echo "Install them as root with: apt-get update && apt-get install --no-install-recommends$missing" >&2
    exit 1
fi
echo "Installing:$missing"
apt-get update
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
