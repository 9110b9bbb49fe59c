#!/bin/sh
# The 32-bit side of Wine, so that the i686 plug-in runs for real: Debian's
# wine32:i386, and where the kernel refuses i386 programs (as on machines
# without IA-32 emulation), qemu's user-mode emulator registered with
# binfmt_misc. Idempotent; on a machine whose kernel runs i386 programs it
# registers nothing. Needs root (or sudo) for the first run only.
set -eu
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
wine32=/usr/lib/wine/wine

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

if ! installed wine32:i386; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    for attempt in 1 2 3; do $sudo apt-get update && break; sleep 20; done
    $sudo apt-get install -y --no-install-recommends wine32:i386
fi

# Runs when the kernel can execute the 32-bit loader, natively or through a
# registered emulator; 126 is the shell's "cannot execute".
runs_i386() { "$wine32" --version >/dev/null 2>&1; }

if ! runs_i386; then
    installed qemu-user-static || $sudo apt-get install -y --no-install-recommends qemu-user-static
    binfmt=/proc/sys/fs/binfmt_misc
    [ -e "$binfmt/register" ] || $sudo mount -t binfmt_misc binfmt_misc "$binfmt"
    if [ ! -e "$binfmt/qemu-i386" ]; then
        # ELF, 32-bit, little-endian, executable or shared object, machine 3 (i386);
        # F: the emulator is opened now, so it works inside any mount namespace.
        magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
        mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
        echo ":qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386-static:F" | $sudo tee "$binfmt/register" >/dev/null
    fi
    runs_i386 || { echo "setup_wine32: i386 programs still do not run; the 32-bit plug-in tests will not run" >&2; exit 0; }
    echo "i386 programs run through qemu-i386-static"
fi
