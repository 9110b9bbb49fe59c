#!/bin/sh
# ConfigurationDlg of the 64-bit plug-in under Wine, driven as a user would
# (dialog_cases.sh); the 32-bit plug-in runs the same cases in wine32_test.sh.
# usage: wine_dialog_test.sh WIN64_BUILD PLOTMIRA SHOWCASE.jww WORK_DIR SUBSTITUTES
set -u
win64=$1 plotmira=$2 showcase=$3 work=$4 substitutes=$5
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine_env.sh"
. "$here/dialog_cases.sh"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
[ -n "$win64" ] && [ -f "$win64/spihost.exe" ] && [ -f "$win64/plotmira.sph" ] || skip "the x86-64 Windows build is missing"
[ -x "$wine64_loader" ] || skip "wine64 is not installed"
command -v xvfb-run >/dev/null 2>&1 || skip "xvfb-run is not installed"

dir="$work/dialog64"
rm -rf "$dir"
mkdir -p "$dir"
: > "$dir/batch.txt"
printf 'Z:%s\tZ:%s\tZ:%s\tZ:%s\n' "$dir/listing.log" "$win64/plotmira.sph" "$showcase" "$dir/listing.bmp" --preview >> "$dir/batch.txt"
dialog_batch_lines "$dir/batch.txt" "Z:$win64/plotmira.sph" "$dir" "$showcase"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
cat > "$dir/run.sh" <<INNER
#!/bin/sh
. "$here/wine_env.sh"
"$here/wine_prefix.sh" "$substitutes"
wine64 "$win64/spihost.exe" --batch "Z:$dir/batch.txt" > "$dir/batch.out" 2>&1
wineserver -w
INNER
chmod +x "$dir/run.sh"
LC_ALL=C.UTF-8 timeout 300 xvfb-run -a "$dir/run.sh" || fail "the dialog run did not finish"
for log in "$dir"/*.log; do echo "--- $log"; tr -d '\r' < "$log"; done
tr -d '\r' < "$dir/listing.log" | grep -q "ConfigurationDlg present" || fail "the test host does not list ConfigurationDlg"
dialog_check "$dir" "$("$plotmira" --version | cut -d' ' -f2)" 64-bit
[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "settings dialog of the 64-bit plug-in: all cases passed"
