#!/bin/sh
# Installs the Debian packages that the build and the tests need, if any are
# missing. As root it installs them with apt-get; otherwise it names them and
# fails, so that nothing half-builds. Recommended packages are left out: the
# build uses none of them, and they would triple the download.
set -eu

packages="cmake g++ make googletest libgtest-dev python3 python3-cffi pkgconf valgrind dpkg-dev file
g++-mingw-w64-x86-64 wine wine64
g++-mingw-w64-i686-posix debootstrap bubblewrap
qemu-user g++-i686-linux-gnu g++-aarch64-linux-gnu g++-arm-linux-gnueabihf
g++-riscv64-linux-gnu g++-s390x-linux-gnu"

missing=""
for package in $packages; do
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
