#!/bin/sh
# debian-root.sh ARCH ROOT [PACKAGE...]: makes a minimal Debian root of the
# architecture ARCH (e.g. i386, amd64) in the folder ROOT, of this machine's
# own release and from the mirror that this machine's apt sources name, and
# installs PACKAGEs in it without their recommended packages.
#
# A root that was made whole is kept (ROOT/.quellot-root marks it); a root
# left half-made by an earlier run is removed and made again.
#
# No mount outlives this command: debootstrap mounts /proc and /sys inside
# the root, and here it runs in a mount namespace of its own, which ends with
# it even when it is killed; apt-get runs in the root through bubblewrap,
# whose mounts are its own too. So `rm -rf` of a folder that holds ROOT is
# always safe. Needs root (debootstrap creates device nodes and owners).
set -eu

if [ $# -lt 2 ]; then
    echo "usage: $0 ARCH ROOT [PACKAGE...]" >&2
    exit 2
fi
arch=$1
root=$2
shift 2

if [ -f "$root/.quellot-root" ]; then
    exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "debian-root.sh: making a Debian root needs root (debootstrap)" >&2
    exit 1
fi
for program in debootstrap bwrap unshare; do
    if ! command -v "$program" >/dev/null 2>&1; then
        echo "debian-root.sh: '$program' is not installed (tools/install-deps.sh installs it)" >&2
        exit 1
    fi
done

# This machine's release, and the first mirror its apt sources give for it.
. /etc/os-release
release=${VERSION_CODENAME:-}
mirror=$(
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        # deb [options] URI SUITE COMPONENT...
        sed -e 's/\[[^]]*\]//' "$file" | awk -v r="$release" '$1 == "deb" && $3 == r { print $2 }'
    done
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        # Records of "Field: value" lines, separated by blank lines.
        awk -v r="$release" '
            function flush() { if (types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " r " ") && uris != "") print uris; types = suites = uris = "" }
            /^[ \t]*$/ { flush(); next }
            /^#/ { next }
            /^Types:/ { sub(/^Types:[ \t]*/, ""); types = $0 }
            /^Suites:/ { sub(/^Suites:[ \t]*/, ""); suites = $0 }
            /^URIs:/ { sub(/^URIs:[ \t]*/, ""); split($0, u, " "); uris = u[1] }
            END { flush() }' "$file"
    done | head -n 1
)
if [ -z "$release" ] || [ -z "$mirror" ]; then
    echo "debian-root.sh: this machine's apt sources name no Debian mirror for release '$release'" >&2
    exit 1
fi

rm -rf "$root"
mkdir -p "$root"
echo "debian-root.sh: $arch root of $release from $mirror in $root"
unshare --mount debootstrap --arch="$arch" --variant=minbase --foreign "$release" "$root" "$mirror" \
    >"$root.log" 2>&1 || { cat "$root.log" >&2; exit 1; }

# The root's own programs run on this processor only where the kernel runs
# programs of its architecture (a 64-bit x86 kernel built without 32-bit
# support runs no i386 program).
if ! bwrap --bind "$root" / --dev /dev /bin/true 2>"$root.check"; then
    if grep -q "Exec format error" "$root.check"; then
        echo "debian-root.sh: this kernel runs no $arch program, so the $arch root cannot be used" >&2
    else
        cat "$root.check" >&2
    fi
    exit 1
fi
rm -f "$root.check"
unshare --mount chroot "$root" /debootstrap/debootstrap --second-stage >>"$root.log" 2>&1 ||
    { cat "$root.log" >&2; exit 1; }

if [ $# -gt 0 ]; then
    in_root() {
        bwrap --bind "$root" / --proc /proc --dev /dev --tmpfs /tmp \
            --ro-bind /etc/resolv.conf /etc/resolv.conf --cap-add ALL \
            env DEBIAN_FRONTEND=noninteractive "$@"
    }
    { in_root apt-get update && in_root apt-get install -y --no-install-recommends "$@" &&
        in_root apt-get clean; } >>"$root.log" 2>&1 || { cat "$root.log" >&2; exit 1; }
fi
touch "$root/.quellot-root"
