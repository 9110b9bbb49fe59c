#!/bin/sh
# The README's first command on a new Debian 12 machine: a minimal root made
# with mmdebstrap (--variant=minbase bookworm), the repository's commit
# cloned into it, and the command run there with chroot, as a new user runs
# it. Twice: in the bare root, and in one that has python3-setuptools and
# python3-wheel without python3-build (as many desktops have). Each run
# must write the showcase picture. Then, in a third root with only
# build-essential and the Build-Depends of debian/control, dpkg-buildpackage
# must give the six Debian packages.
#
# The bare root's tarball is kept between runs on one machine
# (PLOTMIRA_ROOT_CACHE, default /var/cache/plotmira); the packages the root
# installs come through the host's apt download cache when it has them. The
# built tree is never kept. Needs root and mmdebstrap; skips otherwise
# (fails under PLOTMIRA_REQUIRE_ALL=1).
# usage: fresh_root_test.sh [SOURCE_DIR]
set -u
source=$(cd "${1:-$(dirname "$0")/../..}" && pwd)
skip() {
    if [ "${PLOTMIRA_REQUIRE_ALL:-0}" = 1 ]; then echo "FAIL: $*"; exit 1; fi
    echo "SKIP: $*"
    exit 77
}
[ "$(id -u)" -eq 0 ] || skip "needs root (mmdebstrap and chroot)"
command -v mmdebstrap >/dev/null 2>&1 || skip "mmdebstrap is missing (Debian: mmdebstrap)"
commit=$(git -C "$source" rev-parse HEAD 2>/dev/null) || skip "$source is not a git clone"

# The README's first command: the first line of its first sh block.
command=$(sed -n '/^```sh$/{n;p;q}' "$source/README.md")
case $command in "sh scripts/setup.sh "*) ;; *) echo "FAIL: the README's first command is '$command'"; exit 1 ;; esac

cache=${PLOTMIRA_ROOT_CACHE:-/var/cache/plotmira}
tarball="$cache/bookworm-minbase.tar"
mkdir -p "$cache"
if [ ! -s "$tarball" ]; then
    started=$(date +%s)
    rm -rf "$tarball.part"
    mmdebstrap --quiet --variant=minbase --format=tar bookworm "$tarball.part" || {
        echo "FAIL: mmdebstrap"
        rm -f "$tarball.part"
        exit 1
    }
    mv "$tarball.part" "$tarball"
    echo "made the bare root in $(($(date +%s) - started)) s ($(du -h "$tarball" | cut -f1))"
fi

root=""
mounts=""
cleanup() {
    for point in $mounts; do umount -l "$point" 2>/dev/null; done
    mounts=""
    [ -n "$root" ] && rm -rf "$root"
    root=""
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM
failures=0

# run NAME PREPARE COMMAND CHECK: a new root, the shell command PREPARE run
# in it first (untimed), then COMMAND in the clone (timed), then CHECK (a
# function) on its outcome.
run() {
    name=$1 prepare=$2 timed=$3 check=$4
    root=$(mktemp -d /var/tmp/plotmira-root.XXXXXX)
    tar -C "$root" -xf "$tarball" || { echo "FAIL: $name: unpacking the root"; failures=$((failures + 1)); cleanup; return; }
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    for point in proc dev; do
        mount --bind "/$point" "$root/$point" && mounts="$root/$point $mounts"
    done
    # The host's downloaded packages, where it has them: the same files
    # the archive would send.
    if [ -d /var/cache/apt/archives ]; then
        mount --bind /var/cache/apt/archives "$root/var/cache/apt/archives" && mounts="$root/var/cache/apt/archives $mounts"
    fi
    git clone --quiet --no-hardlinks "$source" "$root/root/plotmira" && git -C "$root/root/plotmira" checkout --quiet "$commit" || {
        echo "FAIL: $name: cloning $commit"
        failures=$((failures + 1))
        cleanup
        return
    }
    inside() { chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive "$@"; }
    started=$(date +%s)
    if [ -n "$prepare" ]; then
        inside sh -c "cd /root/plotmira && $prepare" >"$root/prepare.log" 2>&1 || {
            tail -20 "$root/prepare.log"
            echo "FAIL: $name: $prepare"
            failures=$((failures + 1))
            cleanup
            return
        }
    fi
    prepared=$(($(date +%s) - started))
    started=$(date +%s)
    inside sh -c "cd /root/plotmira && $timed" >"$root/command.log" 2>&1
    status=$?
    seconds=$(($(date +%s) - started))
    $check
    cleanup
}

showcase_written() {
    picture="$root/root/plotmira/showcase.png"
    if [ $status -ne 0 ] || ! head -c 8 "$picture" 2>/dev/null | grep -q PNG; then
        tail -30 "$root/command.log"
        echo "FAIL: $name: the README's first command (exit $status, $seconds s) wrote no showcase.png"
        failures=$((failures + 1))
    else
        grep '^not built:' "$root/command.log" | sed "s/^/$name: /"
        echo "$name: the README's first command passed in $seconds s"
    fi
}
install="apt-get -qq update && apt-get -qq install -y --no-install-recommends"
run "bare root" "" "$command" showcase_written
run "root with python3-setuptools and python3-wheel" "$install python3-setuptools python3-wheel" "$command" showcase_written

packages_built() {
    if [ $status -ne 0 ]; then
        tail -30 "$root/command.log"
        echo "FAIL: $name: dpkg-buildpackage (exit $status, $seconds s)"
        failures=$((failures + 1))
        return
    fi
    for package in libplotmira2 libplotmira-dev plotmira plotmira-gdk-pixbuf plotmira-kde python3-plotmira; do
        ls "$root/root/${package}_"*.deb >/dev/null 2>&1 || { echo "FAIL: $name: no $package"; failures=$((failures + 1)); }
    done
    echo "$name: dpkg-buildpackage built the packages in $seconds s (installing the build dependencies: $prepared s)"
}
run "clean root" "$install build-essential && apt-get -qq build-dep -y --no-install-recommends ./" \
    "dpkg-buildpackage -us -uc -b" packages_built
[ $failures -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "fresh roots: the first command passed in both, and the packages built in a clean root"
