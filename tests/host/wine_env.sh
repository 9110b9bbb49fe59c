# Sourced by the Wine tests: how programs of each width start.
# 64-bit programs and Wine's own tools (reg, regedit, wineboot) start through
# wine64 itself: once the 32-bit side is installed, Debian's wine launcher
# sends every start through the 32-bit loader, which may run under qemu's
# emulation (a minute and more per start). Only 32-bit programs go there.
wine64_loader=/usr/lib/wine/wine64
wine32_loader=/usr/lib/wine/wine
# Where i386 programs run through qemu's user-mode emulator, a 3 GiB guest
# address space: with qemu's default one, the 32-bit loader could not map
# Wine's shared user data at its fixed address (0x7ffe0000) once the KDE
# libraries were installed on this kind of machine. Only qemu reads this.
export QEMU_RESERVED_VA=0xc0000000
wine64() { WINELOADER=$wine64_loader "$wine64_loader" "$@"; }
wine32() { WINELOADER=$wine32_loader "$wine32_loader" "$@"; }
# True when 32-bit Windows programs can run here (natively or emulated).
wine32_ready() { [ -x "$wine32_loader" ] && "$wine32_loader" --version >/dev/null 2>&1; }
# The live GDI handle counts that Wine's +gdi trace reports with its last
# allocation or release before the marks "hygiene start" and "hygiene end"
# (written by spihost --hygiene through OutputDebugString, +debugstr).
gdi_handles_around_marks() { # TRACE
    awk '/(allocated|freed) NTGDI_OBJ/ { split($NF, c, "/"); live = c[1] }
         /OutputDebugStringA "hygiene start/ { start = live }
         /OutputDebugStringA "hygiene end/ { end = live }
         END { print start, end }' "$1"
}
# Leaves a Wine test out with a reason, or fails it where Wine is required
# (PLOTMIRA_REQUIRE_WINE=1, as in CI).
skip() {
    if [ "${PLOTMIRA_REQUIRE_WINE:-0}" = 1 ]; then
        echo "FAIL: $* (PLOTMIRA_REQUIRE_WINE=1 forbids skipping the Wine tests)"
        exit 1
    fi
    echo "SKIP: $*"
    exit 77
}
