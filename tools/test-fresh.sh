#!/bin/sh
# test-fresh.sh [ROOT]: proves the front door on a fresh machine. Makes a
# minimal Debian root of this machine's own release and architecture (by
# default build/fresh-root), with only git and make added, clones the
# committed checkout into it, and runs the README's `make test` there through
# bubblewrap, as root, as on a new machine. Prints what `make test` installed
# and how long each step took. The root is made anew on every run.
set -eu

top=$(git -C "$(dirname "$0")/.." rev-parse --show-toplevel)
root=${1:-$top/build/fresh-root}
arch=$(dpkg --print-architecture)

seconds() { date +%s; }
start=$(seconds)
rm -rf "$root"
"$top/tools/debian-root.sh" "$arch" "$root" git make ca-certificates
made=$(seconds)

# Everything runs inside the root, bound with its device nodes usable (a
# root that make test makes in it needs them); the checkout is seen
# read-only, to be cloned from. Capabilities are kept, so that make test can
# install packages and make roots of its own, as root can on a machine.
in_root() {
    bwrap --dev-bind "$root" / --proc /proc --dev /dev --ro-bind /etc/resolv.conf /etc/resolv.conf \
        --ro-bind "$top" /checkout --cap-add ALL --chdir /root \
        env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        LANG=C.UTF-8 CI="${CI:-}" "$@"
}
in_root dpkg-query -W -f '${Package}\n' | sort >"$root.before"
in_root git clone -q /checkout /root/quellot
echo "test-fresh: a $arch root with git and make in $((made - start)) s; running make test in it"
status=0
in_root sh -c 'cd /root/quellot && make test' || status=$?
done=$(seconds)

in_root dpkg-query -W -f '${Package}\n' | sort >"$root.after"
installed=$(comm -13 "$root.before" "$root.after" | wc -l)
echo "test-fresh: make test installed $installed packages:"
comm -13 "$root.before" "$root.after" | tr '\n' ' ' | fold -s -w 100
echo
echo "test-fresh: root $((made - start)) s, make test $((done - made)) s; the root takes $(du -sh "$root" | cut -f1)"
if [ "$status" -ne 0 ]; then
    echo "test-fresh: make test failed on the fresh root (status $status)" >&2
fi
exit "$status"
