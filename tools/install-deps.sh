#!/bin/sh
# Installs the Debian packages that the build and the tests need, if any are
# missing. As root it installs them with apt-get; otherwise it names them and
# fails, so that nothing half-builds.
set -eu

packages="cmake g++ make googletest libgtest-dev g++-mingw-w64-x86-64 wine wine64 python3 pkgconf valgrind"

missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "quellot needs these Debian packages, which are not installed:$missing" >&2
    echo "Install them as root with: apt-get update && apt-get install$missing" >&2
    exit 1
fi
echo "Installing:$missing"
apt-get update
DEBIAN_FRONTEND=noninteractive apt-get install -y $missing
