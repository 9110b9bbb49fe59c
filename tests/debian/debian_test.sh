#!/bin/sh
# The Debian packages, built and checked as Debian builds and checks them,
# then installed as a user installs them:
#  - dpkg-buildpackage (scripts/build_debian.sh), the unit tests included;
#  - lintian on the .changes: no error, and no warning that the overrides in
#    debian/ do not explain;
#  - what each package pulls in: libplotmira2 no Python, Qt or GTK, the
#    gdk-pixbuf loader no Qt;
#  - the autopkgtests (debian/tests) against the built packages, with
#    autopkgtest's null runner, which installs them on this machine;
#  - the installed packages through the system's paths only (PATH, the MIME
#    database, gdk-pixbuf's loader cache, man), then purged, after which
#    nothing of them is left.
# It changes the system, so it runs only as root and when asked
# (PLOTMIRA_INSTALL_TESTS=1, which .ci/run sets on its throwaway machine).
# usage: debian_test.sh SOURCE_DIR EXAMPLES_DIR
set -u
source=$1 examples=$2
if [ "$(id -u)" -ne 0 ] || [ "${PLOTMIRA_INSTALL_TESTS:-}" != 1 ]; then
    echo "SKIP: installs the packages system-wide; run as root with PLOTMIRA_INSTALL_TESTS=1"
    exit 77
fi
for tool in dpkg-buildpackage dh lintian autopkgtest; do
    command -v $tool >/dev/null 2>&1 && continue
    [ "${PLOTMIRA_REQUIRE_ALL:-0}" = 1 ] && { echo "FAIL: $tool is missing (scripts/setup.sh all installs it)"; exit 1; }
    echo "SKIP: $tool is missing (scripts/setup.sh all installs it)"
    exit 77
done
work=$(mktemp -d)
chmod 755 "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
packages="libplotmira2 libplotmira-dev plotmira plotmira-gdk-pixbuf plotmira-kde python3-plotmira"
purge() { DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq $packages > "$work/purge.log" 2>&1; }
cleanup() { purge; rm -rf "$work"; }
trap cleanup EXIT
purge

# Built as Debian builds it.
started=$(date +%s)
sh "$source/scripts/build_debian.sh" "$work/debs" || exit 1
echo "dpkg-buildpackage: $(($(date +%s) - started)) s"
version=$(dpkg-parsechangelog -l "$source/debian/changelog" -S Version)
arch=$(dpkg --print-architecture)
for package in $packages; do
    deb=$(ls "$work/debs/${package}_${version}_"*.deb 2>/dev/null)
    [ -n "$deb" ] || { fail "no $package package"; continue; }
    echo "$package: $(dpkg-deb -f "$deb" Installed-Size) KB installed"
done
grep -q "tests passed" "$work/debs/build.log" || fail "dh_auto_test ran no tests"

# lintian: tags by count, errors and warnings fail.
lintian --pedantic --info --display-experimental "$work/debs"/*.changes > "$work/lintian.txt" 2>&1
sed -n 's/^\([EWIPX]\): [^ ]*: \([^ ]*\).*/\1 \2/p' "$work/lintian.txt" | sort | uniq -c | sed 's/^/lintian: /'
grep -q '^[EW]: ' "$work/lintian.txt" && { grep '^[EW]: ' "$work/lintian.txt"; fail "lintian reports errors or warnings"; }

# What each package pulls in, from the archive's dependency graph.
closure() { # DEB: every package its Depends reach
    dpkg-deb -f "$1" Depends | tr ',' '\n' | sed 's/(.*)//; s/|.*//; s/:any//; s/ //g' | grep -v '^$' |
        grep -v -x -e libplotmira2 -e plotmira-gdk-pixbuf |
        xargs apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
            --no-replaces --no-enhances 2>/dev/null | grep '^[a-z0-9]' | sort -u
}
closure "$work/debs/libplotmira2_${version}_${arch}.deb" > "$work/library-closure.txt"
grep -E '^(python3|libpython3|libqt5|qt5|libgtk|libgdk-pixbuf)' "$work/library-closure.txt" > "$work/library-bad.txt" &&
    fail "libplotmira2 pulls in $(tr '\n' ' ' < "$work/library-bad.txt")"
closure "$work/debs/plotmira-gdk-pixbuf_${version}_${arch}.deb" > "$work/pixbuf-closure.txt"
grep -E '^(libqt5|qt5|libkf5)' "$work/pixbuf-closure.txt" > "$work/pixbuf-bad.txt" &&
    fail "plotmira-gdk-pixbuf pulls in $(tr '\n' ' ' < "$work/pixbuf-bad.txt")"
echo "libplotmira2 pulls in $(wc -l < "$work/library-closure.txt") packages, plotmira-gdk-pixbuf $(wc -l < "$work/pixbuf-closure.txt")"

# The autopkgtests against these packages; they stay installed for what follows.
started=$(date +%s)
autopkgtest -B "$work/debs"/*.deb "$source" -- null > "$work/autopkgtest.log" 2>&1
status=$?
sed -n '/@@@@ summary/,/^autopkgtest \[/p' "$work/autopkgtest.log" | grep -v '^autopkgtest \[' > "$work/summary.txt"
cat "$work/summary.txt"
# Every test passed, and only the clean-up's apt-get update failed (a mirror
# caught in a sync fails an index now and then): the tests' verdict stands.
if [ $status -eq 20 ] && grep -q 'error cleaning up' "$work/autopkgtest.log" &&
    [ "$(grep -c ' PASS' "$work/summary.txt")" -eq "$(grep -c . "$work/summary.txt")" ]; then
    echo "autopkgtest: every test passed; its clean-up could not update apt's indexes (a mirror's fault)"
    status=0
fi
echo "autopkgtest: $(($(date +%s) - started)) s"
[ $status -eq 0 ] || {
    grep -B15 'FAIL non-zero' "$work/autopkgtest.log" | grep -v 'Reading database'
    # What else went wrong (exit 20: the run itself, not a test).
    grep -i -E 'error|^E: |W: |blame|badpkg|tmpfail' "$work/autopkgtest.log" | grep -v 'Reading database' | tail -20
    fail "autopkgtest exit $status"
}
for package in $packages; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$work/debs/${package}_${version}_"*.deb > "$work/install.log" 2>&1 ||
        { cat "$work/install.log"; fail "apt-get install $package"; }
done

# From here on, nothing of the build tree: system paths and a clean environment.
cp "$examples/showcase.jww" "$work/plan.jww"
cp "$examples/showcase.jws" "$work/part.jws"
cp "$work/plan.jww" "$work/plan-without-extension"
cp "$work/part.jws" "$work/part-without-extension"
cp "$work/plan.jww" "$work/UPPER.JWW"
as_user() { env -i HOME="$work/home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }
mkdir -p "$work/home"
as_user plotmira --version | grep -q "^plotmira $version\$" || fail "plotmira --version from PATH"
mime_of() { as_user gio info -a standard::content-type "$1" 2>/dev/null | sed -n 's/.*standard::content-type: //p'; }
desktop_mime_of() { as_user env XDG_CURRENT_DESKTOP=GNOME xdg-mime query filetype "$1" 2>/dev/null; }
for pair in plan.jww:application/x-jww part.jws:application/x-jws UPPER.JWW:application/x-jww \
            plan-without-extension:application/x-jww part-without-extension:application/x-jws; do
    file=${pair%%:*} expected=${pair#*:}
    [ "$(mime_of "$work/$file")" = "$expected" ] || fail "gio: $file is '$(mime_of "$work/$file")', not $expected"
    [ "$(desktop_mime_of "$work/$file")" = "$expected" ] || fail "xdg-mime: $file is '$(desktop_mime_of "$work/$file")', not $expected"
done
as_user man -P cat plotmira > "$work/man.txt" 2>&1 || fail "man plotmira: $(head -3 "$work/man.txt")"
grep -q "thumbnail" "$work/man.txt" || fail "man plotmira does not describe thumbnail"
query=$(pkg-config --variable=gdk_pixbuf_query_loaders gdk-pixbuf-2.0)
moduledir=$(pkg-config --variable=gdk_pixbuf_moduledir gdk-pixbuf-2.0)
"$query" 2>/dev/null | grep -q "libpixbufloader-plotmira.so" || fail "gdk-pixbuf-query-loaders does not list the loader"
grep -q "libpixbufloader-plotmira.so" "$moduledir/../loaders.cache" || fail "the loader cache was not refreshed"
installed=$(for package in $packages; do dpkg -L "$package"; done | while read -r path; do [ -f "$path" ] && echo "$path"; done)

# Purged: no file, no loader, no MIME type left.
purge || { cat "$work/purge.log"; fail "apt-get purge"; }
for path in $installed; do [ ! -e "$path" ] || fail "$path is left after purging"; done
grep -q "libpixbufloader-plotmira.so" "$moduledir/../loaders.cache" && fail "the loader cache still names the loader"
[ "$(mime_of "$work/plan.jww")" != application/x-jww ] || fail "the MIME type is left after purging"

[ $failures -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "Debian packages: built, lintian-clean, autopkgtests passed, installed, used and purged cleanly"
