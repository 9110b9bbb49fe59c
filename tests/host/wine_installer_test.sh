#!/bin/sh
# The Windows installer under Wine, run silently as an administrator's
# script or a software-deployment tool would: in two fresh prefixes side by
# side, one per user (the default), one for all users (/ALLUSERS). Each
# installs with a viewer's plug-in folder given (/PLUGINDIR=), and the test
# checks the files, the keys, the uninstall entry, the plug-in copy chosen by
# the viewer program's width, and draws through what was installed: the
# thumbnail and the preview pane from the installed shell DLLs of both widths
# (per user by their paths, for all users through the registry as Explorer and
# a 32-bit program's file dialog do) against the converter and the library.
# The per-user one is run a second time over the first, as an update. Then
# the uninstaller (/S) must leave no file, folder or key of ours, and the
# .jww and .jws associations that were there before stay.
# usage: wine_installer_test.sh WIN64_BUILD WIN32_BUILD PLOTMIRA IMAGE_COMPARE SHOWCASE.jww WORK_DIR SUBSTITUTES PACKAGE_SCRIPT
set -u
win64=$1 win32=$2 plotmira=$3 compare=$4 showcase=$5 work=$6 substitutes=$7 package=$8
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine_env.sh"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
[ -n "$win64" ] && [ -f "$win64/spihost.exe" ] || skip "the x86-64 Windows build is missing"
[ -n "$win32" ] && [ -f "$win32/spihost.exe" ] || skip "the i686 Windows build is missing"
[ -x "$wine64_loader" ] || skip "wine64 is not installed"
command -v xvfb-run >/dev/null 2>&1 || skip "xvfb-run is not installed"
command -v makensis >/dev/null 2>&1 || skip "makensis is not installed (Debian: nsis)"
wine32_ready || skip "32-bit Windows programs do not run here (the installer is one; scripts/setup_wine32.sh)"

dir="$work/installer"
rm -rf "$dir"
mkdir -p "$dir"
version=$("$plotmira" --version | cut -d' ' -f2)
made=$("$package" "$dir/dist") || { echo "FAIL: scripts/package.sh"; exit 1; }
setup=$(printf '%s\n' "$made" | grep 'setup\.exe$')
[ "$setup" = "$dir/dist/plotmira-$version-setup.exe" ] || { echo "FAIL: no setup program among: $made"; exit 1; }
figure="${showcase%.jww}.jws"
thumb_clsid='{3F0B8E51-6C2D-4A7B-9E14-52D8C1A7B640}'
preview_clsid='{3F0B8E52-6C2D-4A7B-9E14-52D8C1A7B640}'
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Plotmira'
previews_key='Software\Microsoft\Windows\CurrentVersion\PreviewHandlers'

# Viewers' plug-in folders: one with a 64-bit program in it, one a
# "plugins" folder beside a 32-bit program. Given to the installer as
# Windows paths (unquoted, a value ends at the next "/").
mkdir -p "$dir/viewer64" "$dir/viewer32/plugins" "$dir/viewer32b/plugins"
cp "$win64/spihost.exe" "$dir/viewer64/viewer.exe"
cp "$win32/spihost.exe" "$dir/viewer32/viewer.exe"
cp "$win32/spihost.exe" "$dir/viewer32b/viewer.exe"
windows_path() { printf 'Z:%s' "$1" | tr '/' '\\'; }

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
# The tests' prefix, ready, copied: nothing of ours has been in the copies.
cat > "$dir/prepare.sh" <<INNER
#!/bin/sh
WINEPREFIX="$work/prefix" "$here/wine_prefix.sh" "$substitutes"
WINEPREFIX="$work/prefix" wineserver -w
INNER
chmod +x "$dir/prepare.sh"
xvfb-run -a "$dir/prepare.sh" || fail "the Wine prefix could not be prepared"
cp -a "$work/prefix" "$dir/user-prefix"
cp -a "$work/prefix" "$dir/all-prefix"

# The steps in each prefix; LOGS its output folder.
common() { # LOGS
    cat <<INNER
#!/bin/sh
. "$here/wine_env.sh"
logs="$1"
# Wine's reg now and then ends without a word: a query that says nothing is asked again.
query() {
    for attempt in 1 2 3; do
        wine64 reg query "\$1" /s > "\$logs/\$2.reg" 2>&1
        [ -s "\$logs/\$2.reg" ] && break
    done
}
setup() { # LOG ARGS...
    log=\$1
    shift
    started=\$(date +%s)
    wine32 "$setup" "\$@"
    echo "\$log: exit \$? after \$((\$(date +%s) - started)) s" >> "\$logs/setup.txt"
    wineserver -w
}
# As deployment tools do: the entry's QuietUninstallString.
uninstall() {
    started=\$(date +%s)
    program=\$(tr -d '\r' < "\$logs/entry.reg" | sed -n 's/.*QuietUninstallString    REG_SZ    "\(.*\)" \/S\$/\1/p')
    wine32 "\$program" /S
}
INNER
}

# Per user. The user's own association of .jww, and the plug-in's settings.
mkdir -p "$dir/user"
{ common "$dir/user"; cat <<INNER
export WINEPREFIX="$dir/user-prefix"
wine64 reg add 'HKCU\\Software\\Classes\\.jww' /ve /d JwwFile /f > /dev/null 2>&1
setup install /S '/PLUGINDIR=$(windows_path "$dir/viewer64")'
setup update /S '/PLUGINDIR=$(windows_path "$dir/viewer32/plugins")'
wine64 "$win64/spihost.exe" --version-of "Z:$setup" > "\$logs/setup-version.txt" 2>&1
query 'HKCU\\$uninstall_key' entry
query 'HKCU\\Software\\Classes\\CLSID\\$thumb_clsid' class
query 'HKCU\\Software\\Classes\\CLSID\\$preview_clsid' preview-class
query 'HKCU\\Software\\Classes\\.jww' jww
query 'HKCU\\Software\\Classes\\.jws' jws
query 'HKCU\\$previews_key' previews
query 'HKLM\\Software\\Classes\\CLSID\\$thumb_clsid' machine-class
installed=\$(ls -d "\$WINEPREFIX"/drive_c/users/*/AppData/Local/Programs/Plotmira)
echo "\$installed" > "\$logs/folder.txt"
(cd "\$installed" && find . | sort) > "\$logs/files.txt"
tr -d '\\000\\r' < "\$installed/plugin-copies.txt" > "\$logs/copies.txt"
wine64 "$win64/spihost.exe" --batch "Z:$dir/user-batch64.txt" > /dev/null 2>&1
wine32 "$win32/spihost.exe" --batch "Z:$dir/user-batch32.txt" > /dev/null 2>&1
wine64 reg add 'HKCU\\Software\\Plotmira_spi\\ini' /v SIZE_JWW /t REG_DWORD /d 1200 /f > /dev/null 2>&1
uninstall
echo "uninstall: exit \$? after \$((\$(date +%s) - started)) s" >> "\$logs/setup.txt"
wineserver -w
query 'HKCU\\$uninstall_key' entry-after
query 'HKCU\\Software\\Classes\\CLSID\\$thumb_clsid' class-after
query 'HKCU\\Software\\Classes\\CLSID\\$preview_clsid' preview-class-after
query 'HKCU\\Software\\Classes\\.jww' jww-after
query 'HKCU\\Software\\Classes\\.jws' jws-after
query 'HKCU\\$previews_key' previews-after
query 'HKCU\\Software\\Plotmira_spi' settings-after
wineserver -w
INNER
} > "$dir/user.sh"

# For all users. A machine-wide association of .jws from before.
mkdir -p "$dir/all"
{ common "$dir/all"; cat <<INNER
export WINEPREFIX="$dir/all-prefix"
wine64 reg add 'HKLM\\Software\\Classes\\.jws' /ve /d JwsFile /f > /dev/null 2>&1
setup install /S /ALLUSERS '/PLUGINDIR=$(windows_path "$dir/viewer32b/plugins")'
query 'HKLM\\$uninstall_key' entry
query 'HKCU\\$uninstall_key' user-entry
query 'HKLM\\Software\\Classes\\CLSID\\$thumb_clsid' class
query 'HKLM\\Software\\Wow6432Node\\Classes\\CLSID\\$thumb_clsid' class32
query 'HKLM\\Software\\Wow6432Node\\Classes\\CLSID\\$preview_clsid' preview-class32
query 'HKLM\\Software\\Classes\\.jws' jws
query 'HKLM\\$previews_key' previews
query 'HKCU\\Software\\Classes\\CLSID\\$thumb_clsid' user-class
installed="\$WINEPREFIX/drive_c/Program Files/Plotmira"
(cd "\$installed" && find . | sort) > "\$logs/files.txt"
tr -d '\\000\\r' < "\$installed/plugin-copies.txt" > "\$logs/copies.txt"
wine64 "$win64/spihost.exe" --batch "Z:$dir/all-batch64.txt" > /dev/null 2>&1
wine32 "$win32/spihost.exe" --batch "Z:$dir/all-batch32.txt" > /dev/null 2>&1
uninstall
echo "uninstall: exit \$? after \$((\$(date +%s) - started)) s" >> "\$logs/setup.txt"
wineserver -w
ls -d "\$installed" > "\$logs/folder-after.txt" 2>&1
query 'HKLM\\$uninstall_key' entry-after
query 'HKLM\\Software\\Classes\\CLSID\\$thumb_clsid' class-after
query 'HKLM\\Software\\Wow6432Node\\Classes\\CLSID\\$thumb_clsid' class32-after
query 'HKLM\\Software\\Classes\\.jws' jws-after
query 'HKLM\\$previews_key' previews-after
wineserver -w
INNER
} > "$dir/all.sh"
chmod +x "$dir/user.sh" "$dir/all.sh"

# What the hosts do with the installed files: log, then arguments, tab-separated.
user_root="$dir/user-prefix/drive_c/users"
tab=$(printf '\t')
batch() { # FILE LOG ARGS...
    file=$1 log=$2
    shift 2
    line="Z:$dir/$log.log"
    for arg in "$@"; do line="$line$tab$arg"; done
    printf '%s\n' "$line" >> "$file"
}
# Per user, the shell DLLs by their installed paths (Wine's COM does not
# read the user's classes); for all users through the registry.
user_dir=$(cd "$user_root" && pwd)/$(id -un)/AppData/Local/Programs/Plotmira
for width in 64 32; do
    list="$dir/user-batch$width.txt"
    arch=x64 plugin=plotmira.sph
    [ $width = 32 ] && arch=x86 plugin=plotmira.spi
    batch "$list" "user/thumbnail$width" --thumbnail "Z:$showcase" 256 "Z:$dir/user/thumbnail$width.bmp" "Z:$user_dir/$arch/plotmira-thumbnails.dll"
    batch "$list" "user/pane$width" --preview-pane "Z:$showcase" "Z:$user_dir/$arch/plotmira-thumbnails.dll" "Z:$user_dir/$plugin"
    list="$dir/all-batch$width.txt"
    batch "$list" "all/thumbnail$width" --thumbnail "Z:$figure" 256 "Z:$dir/all/thumbnail$width.bmp"
done
batch "$dir/user-batch64.txt" "user/viewer64" "Z:$dir/viewer64/plotmira.sph" "Z:$showcase" "Z:$dir/user/viewer64.bmp" --preview
batch "$dir/user-batch32.txt" "user/viewer32" "Z:$dir/viewer32/plugins/plotmira.spi" "Z:$showcase" "Z:$dir/user/viewer32.bmp" --preview
batch "$dir/all-batch32.txt" "all/viewer32" "Z:$dir/viewer32b/plugins/plotmira.spi" "Z:$figure" "Z:$dir/all/viewer32.bmp" --preview

started=$(date +%s)
LC_ALL=C.UTF-8 timeout 1200 xvfb-run -a -s "-screen 0 1920x1080x24" "$dir/user.sh" > "$dir/user.out" 2>&1 &
user_run=$!
LC_ALL=C.UTF-8 timeout 1200 xvfb-run -a -s "-screen 0 1920x1080x24" "$dir/all.sh" > "$dir/all.out" 2>&1 &
all_run=$!
wait $user_run || fail "the per-user run did not finish"
wait $all_run || fail "the all-users run did not finish"
echo "both runs: $(($(date +%s) - started)) s"
for f in "$dir"/user/* "$dir"/all/*; do
    case $f in *.bmp) continue ;; esac
    echo "--- $f"; tr -d '\r' < "$f"
done
rm -rf "$dir/user-prefix" "$dir/all-prefix"

has() { tr -d '\r' < "$dir/$1" | grep -q -- "$2" || fail "$1: no \"$2\""; }
lacks() { tr -d '\r' < "$dir/$1" 2>/dev/null | grep -q -- "$2" && fail "$1: \"$2\" is still there"; }
export PLOTMIRA_REGISTRY="$dir/native-registry.reg" PLOTMIRA_DESKTOP_WIDTH=1920
"$plotmira" thumbnail -s 256 "$showcase" "$dir/native-drawing256.png" || fail "native thumbnail of the drawing"
"$plotmira" thumbnail -s 256 "$figure" "$dir/native-figure256.png" || fail "native thumbnail of the figure"
"$plotmira" render --preview "$showcase" -o "$dir/native-drawing-preview.png" || fail "native preview of the drawing"
"$plotmira" render --preview "$figure" -o "$dir/native-figure-preview.png" || fail "native preview of the figure"
same() { # WINE_BMP NATIVE_PNG WHAT
    "$compare" "$dir/$1" "$dir/$2" --allow 0.005 || fail "$3 differs from the converter's"
}

# Per user.
has user/setup.txt "install: exit 0"
has user/setup.txt "update: exit 0"
has user/setup.txt "uninstall: exit 0"
has user/setup-version.txt "^FileVersion: $version"
has user/setup-version.txt "^ProductName: Plotmira"
has user/setup-version.txt "^OriginalFilename: plotmira-$version-setup.exe"
expected_files=". ./LICENSE.txt ./README.txt ./plotmira.ico ./plotmira.sph ./plotmira.spi ./plugin-copies.txt ./uninstall.exe ./x64 ./x64/plotmira-thumbnails.dll ./x86 ./x86/plotmira-thumbnails.dll"
[ "$(tr '\n' ' ' < "$dir/user/files.txt")" = "$expected_files " ] || fail "per user, installed: $(tr '\n' ' ' < "$dir/user/files.txt")"
for value in "DisplayName    REG_SZ    Plotmira" "DisplayVersion    REG_SZ    $version" "Publisher    REG_SZ    The Plotmira developers" \
    "DisplayIcon    REG_SZ    C:.*Plotmira.plotmira.ico" "UninstallString    REG_SZ    \"C:.*AppData.Local.Programs.Plotmira.uninstall.exe\"$" \
    "QuietUninstallString    REG_SZ    \".*uninstall.exe\" /S" "EstimatedSize    REG_DWORD    0x" "NoModify    REG_DWORD    0x1" \
    "NoRepair    REG_DWORD    0x1"; do
    has user/entry.reg "$value"
done
has user/class.reg "InprocServer32"
has user/class.reg "AppData.Local.Programs.Plotmira.x64.plotmira-thumbnails.dll"
has user/preview-class.reg "AppID"
has user/jww.reg "JwwFile"
has user/jww.reg "$thumb_clsid"
has user/jww.reg "$preview_clsid"
has user/jws.reg "$thumb_clsid"
has user/previews.reg "$preview_clsid"
lacks user/machine-class.reg "InprocServer32"
# The viewers' folders got the plug-in of their program's width, and the
# update remembered both copies.
[ "$(ls "$dir/viewer64" | tr '\n' ' ')" = "viewer.exe " ] || fail "per user, viewer64 holds after removal: $(ls "$dir/viewer64")"
has user/copies.txt 'viewer64.plotmira\.sph$'
has user/copies.txt 'viewer32.plugins.plotmira\.spi$'
[ "$(wc -l < "$dir/user/copies.txt")" -eq 2 ] || fail "per user, copies remembered: $(cat "$dir/user/copies.txt")"
for width in 64 32; do
    has "user/thumbnail$width.log" "GetThumbnail 256: hr 0x00000000"
    same "user/thumbnail$width.bmp" native-drawing256.png "the $width-bit installed thumbnail"
    for step in fitted resized zoomed dragged; do has "user/pane$width.log" "^$step [0-9x]*: same"; done
    has "user/pane$width.log" "unloaded: no window left"
    has "user/viewer$width.log" "status 0"
done
same user/viewer64.bmp native-drawing-preview.png "the .sph copied into the 64-bit viewer's folder"
same user/viewer32.bmp native-drawing-preview.png "the .spi copied beside the 32-bit viewer"
# Removed: nothing of ours left, the user's association stays.
[ ! -e "$user_dir" ] || fail "per user, the folder is still there: $(ls -R "$user_dir")"
[ "$(ls "$dir/viewer32/plugins" | wc -l)" -eq 0 ] || fail "per user, the copy beside the 32-bit viewer is still there"
lacks user/entry-after.reg "DisplayName"
lacks user/class-after.reg "InprocServer32"
lacks user/preview-class-after.reg "InprocServer32"
lacks user/jww-after.reg "ShellEx"
lacks user/jws-after.reg "ShellEx"
lacks user/previews-after.reg "$preview_clsid"
lacks user/settings-after.reg "SIZE_JWW"
has user/jww-after.reg "JwwFile"

# For all users.
has all/setup.txt "install: exit 0"
has all/setup.txt "uninstall: exit 0"
[ "$(tr '\n' ' ' < "$dir/all/files.txt")" = "$expected_files " ] || fail "for all users, installed: $(tr '\n' ' ' < "$dir/all/files.txt")"
has all/entry.reg "UninstallString    REG_SZ    \"C:.Program Files.Plotmira.uninstall.exe\"$"
has all/entry.reg "DisplayVersion    REG_SZ    $version"
lacks all/user-entry.reg "DisplayName"
has all/class.reg "Program Files.Plotmira.x64.plotmira-thumbnails.dll"
has all/class32.reg "Program Files.Plotmira.x86.plotmira-thumbnails.dll"
has all/preview-class32.reg "AppID    REG_SZ    {534A1E02-D58F-44f0-B58B-36CBED287C7C}"
has all/jws.reg "JwsFile"
has all/jws.reg "$thumb_clsid"
has all/previews.reg "$preview_clsid"
lacks all/user-class.reg "InprocServer32"
has all/copies.txt 'viewer32b.plugins.plotmira\.spi$'
for width in 64 32; do
    has "all/thumbnail$width.log" "GetThumbnail 256: hr 0x00000000"
    same "all/thumbnail$width.bmp" native-figure256.png "the $width-bit thumbnail through the machine's registry"
done
same all/viewer32.bmp native-figure-preview.png "the .spi copied for all users"
has all/folder-after.txt "No such file"
[ "$(ls "$dir/viewer32b/plugins" | wc -l)" -eq 0 ] || fail "for all users, the plug-in copy is still there"
lacks all/entry-after.reg "DisplayName"
lacks all/class-after.reg "InprocServer32"
lacks all/class32-after.reg "InprocServer32"
lacks all/jws-after.reg "ShellEx"
lacks all/previews-after.reg "$preview_clsid"
has all/jws-after.reg "JwsFile"

[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "Windows installer under Wine: per user and for all users, installed, used and removed"
