#!/bin/sh
# The converter's command-line contract, exercised as a user runs it.
# usage: cli_test.sh PLOTMIRA SHOWCASE.jww CORPUS_DIR IMAGE_COMPARE
# (PLOTMIRA_CORPUS_DIR in the environment overrides CORPUS_DIR)
set -u
plotmira=$1 showcase=$2 corpus=${PLOTMIRA_CORPUS_DIR:-$3} compare=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_size() { # FILE WxH
    got=$("$compare" --size "$1" 2>&1) || { fail "$1: $got"; return; }
    [ "$got" = "$2" ] || fail "$1 is $got, expected $2"
}

export PLOTMIRA_DESKTOP_WIDTH=1920
export PLOTMIRA_REGISTRY="$work/registry.reg"
"$plotmira" render "$showcase" -o "$work/showcase.png" || fail "render of the showcase"
expect_size "$work/showcase.png" 1920x1357
"$plotmira" render "$showcase" -o "$work/showcase.bmp" --preview || fail "preview as BMP"
expect_size "$work/showcase.bmp" 320x226
PLOTMIRA_DESKTOP_WIDTH=1000 "$plotmira" render "$showcase" -o "$work/narrow.png" || fail "render at 1000"
expect_size "$work/narrow.png" 1000x707

test2="$corpus/raw/monozukuri-ai__ezjww/Test2.jww"
: > "$work/corpus.txt"
if [ -f "$test2" ]; then
    "$plotmira" render "$test2" -o "$work/test2.png" || fail "render of Test2.jww"
    expect_size "$work/test2.png" 1920x1357
    "$plotmira" render "$test2" -o "$work/test2-preview.png" --preview || fail "preview of Test2.jww"
    expect_size "$work/test2-preview.png" 320x226
    info=$("$plotmira" info "$test2") || fail "info of Test2.jww"
    case $info in *'"format": "jww"'*'"version": 600'*'"counts"'*'"topLevel"'*) ;; *) fail "info says $info" ;; esac
    test1="$corpus/raw/monozukuri-ai__ezjww/Test1.jww"
    info=$("$plotmira" info "$test1") || fail "info of Test1.jww"
    case $info in *'"lines": 1642, "arcs": 4, "points": 4, "texts": 36,'*'"topLevel": {"lines": 1642, "arcs": 4, "points": 4, "texts": 36,'*) ;;
        *) fail "Test1.jww counts: $info" ;; esac
    find "$corpus/raw" -type f \( -iname '*.jww' -o -iname '*.jws' \) > "$work/corpus.txt"
elif [ "${PLOTMIRA_REQUIRE_CORPUS:-0}" = 1 ]; then
    fail "no corpus at $corpus (PLOTMIRA_REQUIRE_CORPUS=1)"
else
    echo "note: corpus not found at $corpus; Test1.jww and Test2.jww are left out, the project's own drawings stand in"
    printf '%s\n' "$showcase" "${showcase%.jww}.jws" "${showcase%showcase.jww}macros.jww" > "$work/corpus.txt"
fi
# Every corpus file (or own drawing): info answers with its version and counts.
while IFS= read -r file; do
    out=$("$plotmira" info "$file") || fail "info of $file"
    case $out in *'"version": '*'"counts"'*) ;; *) fail "info of $file: $out" ;; esac
done < "$work/corpus.txt"

printf 'this is not a drawing, only text that is long enough to be read as one\n' > "$work/note.jww"
if msg=$("$plotmira" render "$work/note.jww" -o "$work/note.png" 2>&1); then fail "a foreign file converted"; fi
case $msg in *note.jww*"not a Jw_cad drawing"*) ;; *) fail "foreign file message: $msg" ;; esac
if msg=$("$plotmira" render "$work/absent.jww" -o "$work/absent.png" 2>&1); then fail "a missing file converted"; fi
case $msg in *absent.jww*"cannot be opened"*) ;; *) fail "missing file message: $msg" ;; esac
if msg=$("$plotmira" info "$work/note.jww" 2>&1); then fail "info of a foreign file succeeded"; fi
if "$plotmira" render 2>/dev/null; then fail "render without arguments succeeded"; fi

mkdir "$work/out"
if "$plotmira" render "$showcase" "$work/note.jww" "$showcase" -d "$work/out" 2>"$work/batch.err"; then
    fail "a batch with a bad input exited 0"
fi
expect_size "$work/out/showcase.png" 1920x1357
grep -q "note.jww" "$work/batch.err" || fail "the batch did not name the bad input"

# Settings: widths from the registry file; a settings file beside a drawing
# named Plotmira.jww takes part in its conversion, but opening writes no
# settings (the plug-in's requests do; "plotmira settings" does).
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Plotmira_spi\\ini]\r\n"SIZE_JWW"=dword:000003e8\r\n' > "$PLOTMIRA_REGISTRY"
"$plotmira" render "$showcase" -o "$work/registry-width.png" || fail "render with a registry width"
expect_size "$work/registry-width.png" 1000x707
mkdir "$work/settings"
cp "$showcase" "$work/settings/Plotmira.jww"
printf 'Plotmira_ini\nSIZE_JWW=1200\n' > "$work/settings/Plotmira.ini"
"$plotmira" render "$work/settings/Plotmira.jww" -o "$work/settings.png" || fail "render of Plotmira.jww"
grep -q '"SIZE_JWW"=dword:000004b0' "$PLOTMIRA_REGISTRY" && fail "converting Plotmira.jww wrote the registry file"
"$plotmira" render "$showcase" -o "$work/after-settings.png" || fail "render after the settings file"
expect_size "$work/after-settings.png" 1000x707

# Batches in worker processes: every picture written, messages in the order
# of the inputs however the workers finish, the same exit status.
mkdir "$work/jobs"
cp "$showcase" "$work/jobs/a.jww"
cp "$showcase" "$work/jobs/c.jww"
cp "${showcase%.jww}.jws" "$work/jobs/e.jws"
"$plotmira" render "$work/jobs/a.jww" "$work/note.jww" "$work/jobs/c.jww" "$work/absent.jww" "$work/jobs/e.jws" \
    -d "$work/jobs" -j 3 --preview 2> "$work/jobs.err"
[ $? -eq 1 ] || fail "a batch of workers with bad inputs does not exit 1"
for name in a c e; do expect_size "$work/jobs/$name.png" 320x226; done
[ "$(grep -c plotmira: "$work/jobs.err")" -eq 2 ] || fail "batch messages: $(cat "$work/jobs.err")"
head -1 "$work/jobs.err" | grep -q note.jww && tail -1 "$work/jobs.err" | grep -q absent.jww ||
    fail "batch messages out of input order: $(cat "$work/jobs.err")"
"$plotmira" render "$work/jobs/a.jww" "$work/jobs/c.jww" -d "$work/jobs" -j 2 || fail "a good batch of workers"
"$plotmira" render "$work/jobs/a.jww" -d "$work/jobs" -j 0 2> /dev/null
[ $? -eq 2 ] || fail "-j 0 was accepted"

# --width wins over the registry's width, for drawings and figures alike.
"$plotmira" render "$showcase" --width 800 -o "$work/width.png" || fail "render --width 800"
expect_size "$work/width.png" 800x565
figure=${showcase%.jww}.jws
"$plotmira" render "$figure" --width 700 -o "$work/figure-width.png" || fail "figure with --width 700"
expect_size "$work/figure-width.png" 700x494
for bad in 299 5001 abc 12x ""; do
    "$plotmira" render "$showcase" --width "$bad" -o "$work/bad-width.png" 2>"$work/bad-width.err"
    status=$?
    [ $status -eq 2 ] || fail "--width '$bad': exit status $status, not 2"
    grep -q "300 to 5000" "$work/bad-width.err" || fail "--width '$bad' message: $(cat "$work/bad-width.err")"
    [ ! -e "$work/bad-width.png" ] || fail "--width '$bad' wrote a file"
done
rm -f "$PLOTMIRA_REGISTRY"

# The output's extension chooses the format, in any case; anything else
# writes nothing.
"$plotmira" render "$showcase" -o "$work/upper.PNG" --preview || fail "render to .PNG"
expect_size "$work/upper.PNG" 320x226
"$plotmira" render "$showcase" -o "$work/upper.Bmp" --preview || fail "render to .Bmp"
head -c 2 "$work/upper.Bmp" | grep -q BM || fail ".Bmp is not a BMP"
for bad in picture.jpg picture.png.txt picture; do
    if "$plotmira" render "$showcase" -o "$work/$bad" 2>"$work/ext.err"; then fail "-o $bad was accepted"; fi
    grep -q '\.png' "$work/ext.err" && grep -q '\.bmp' "$work/ext.err" || fail "-o $bad message: $(cat "$work/ext.err")"
    [ ! -e "$work/$bad" ] || fail "-o $bad left a file"
done

# -o - writes PNG to standard output, read here by a PNG decoder.
"$plotmira" render "$showcase" -o - | "$compare" --size - > "$work/stdout.size" || fail "-o - is not a PNG"
[ "$(cat "$work/stdout.size")" = 1920x1357 ] || fail "-o - gave $(cat "$work/stdout.size")"

# thumbnail -s SIZE: drawn at SIZE, the picture the loader and Explorer get too.
"$plotmira" thumbnail -s 256 "$showcase" "$work/thumb.png" || fail "thumbnail -s 256"
expect_size "$work/thumb.png" 256x180
"$plotmira" thumbnail -s 128 "$figure" "$work/thumb-figure.png" || fail "thumbnail of a figure"
expect_size "$work/thumb-figure.png" 128x90
if "$plotmira" thumbnail -s 8 "$showcase" "$work/tiny.png" 2>/dev/null; then fail "thumbnail -s 8 was accepted"; fi
if "$plotmira" thumbnail -s 256 "$work/note.jww" "$work/note-thumb.png" 2>/dev/null; then fail "thumbnail of a foreign file"; fi
[ ! -e "$work/note-thumb.png" ] || fail "a failed thumbnail left a file"

# Conventions: --help on standard output with status 0, --version, usage errors 2.
"$plotmira" --help > "$work/help.txt" 2>/dev/null || fail "--help exited non-zero"
grep -q "plotmira thumbnail -s SIZE" "$work/help.txt" || fail "--help does not show the usage"
version=$("$plotmira" --version) || fail "--version exited non-zero"
echo "$version" | grep -Eq '^plotmira [0-9]+\.[0-9]+\.[0-9]+$' || fail "--version says '$version'"
"$plotmira" frobnicate 2>/dev/null
[ $? -eq 2 ] || fail "an unknown command does not exit 2"

# Inputs beyond the module's limit: a device without end is read only up to
# it, and a large file is called too large, not short of memory.
if msg=$(timeout 60 "$plotmira" info /dev/zero 2>&1); then fail "info of /dev/zero succeeded"; fi
case $msg in *"too large"*) ;; *) fail "info of /dev/zero: $msg" ;; esac
truncate -s 300M "$work/huge.jww"
if msg=$("$plotmira" render "$work/huge.jww" -o "$work/huge.png" 2>&1); then fail "a 300 MiB file converted"; fi
case $msg in *huge.jww*"too large"*) ;; *) fail "300 MiB file: $msg" ;; esac
if msg=$("$plotmira" info "$work/absent.jww" 2>&1); then fail "info of a missing file succeeded"; fi
case $msg in *absent.jww*"cannot be opened"*) ;; *) fail "info of a missing file: $msg" ;; esac
info=$("$plotmira" info "$figure") || fail "info of the showcase figure"
case $info in *'"format": "jws"'*) ;; *) fail "figure info says $info" ;; esac

# settings: shows where each value comes from, sets them with the settings
# file's rules, refuses bad values without touching the file.
export PLOTMIRA_REGISTRY="$work/settings-registry.reg"
shown=$("$plotmira" settings) || fail "settings without a registry file"
case $shown in *"drawing width (SIZE_JWW): 1920, default"*"figure width (SIZE_JWS): 960, default"*"REF_FILE): none"*) ;;
    *) fail "settings shows: $shown" ;; esac
"$plotmira" settings --drawing-width 1000 --figure-width 800 --reference-file ref.txt > "$work/set.txt" || fail "settings --drawing-width 1000"
grep -q "SIZE_JWW): 1000, from $PLOTMIRA_REGISTRY" "$work/set.txt" || fail "settings after setting: $(cat "$work/set.txt")"
"$plotmira" render "$showcase" -o "$work/after-settings-command.png" || fail "render after settings"
expect_size "$work/after-settings-command.png" 1000x707
"$plotmira" render "$figure" -o "$work/figure-after-settings.png" || fail "figure after settings"
expect_size "$work/figure-after-settings.png" 800x565
grep -q '"SIZE_JWW"=dword:000003e8' "$PLOTMIRA_REGISTRY" || fail "SIZE_JWW is not a dword in the registry file"
grep -q '"REF_FILE"="ref.txt"' "$PLOTMIRA_REGISTRY" || fail "REF_FILE is not in the registry file"
cp "$PLOTMIRA_REGISTRY" "$work/before-bad.reg"
for bad in "--drawing-width abc" "--drawing-width 299" "--figure-width 5001" "--figure-width 12345" \
           "--reference-file x" "--drawing-width 1200 --figure-width 0" "--frobnicate 3"; do
    # shellcheck disable=SC2086
    "$plotmira" settings $bad > /dev/null 2> "$work/bad-setting.err"
    status=$?
    [ $status -eq 2 ] || fail "settings $bad: exit status $status"
    [ -s "$work/bad-setting.err" ] || fail "settings $bad: no message"
    cmp -s "$PLOTMIRA_REGISTRY" "$work/before-bad.reg" || fail "settings $bad changed the registry file"
done
"$plotmira" settings --drawing-width "" --reference-file "" > /dev/null || fail "settings with empty values"
grep -q 'SIZE_JWW\|REF_FILE' "$PLOTMIRA_REGISTRY" && fail "empty values were not removed: $(cat "$PLOTMIRA_REGISTRY")"
grep -q '"SIZE_JWS"=dword:00000320' "$PLOTMIRA_REGISTRY" || fail "removing one value lost another"
"$plotmira" render "$showcase" -o "$work/default-again.png" || fail "render after removing the width"
expect_size "$work/default-again.png" 1920x1357

# Regions of the sheet and hidden layers, drawn through views.
"$plotmira" render "$showcase" --region -210,148.5,0,-148.5 --width 500 -o "$work/region.png" || fail "render --region"
expect_size "$work/region.png" 500x707
"$plotmira" render "$showcase" --region 20,-40,120,-20 -o "$work/detail.png" || fail "render --region of a detail"
expect_size "$work/detail.png" 1920x384
[ "$("$compare" --colors "$work/detail.png")" -gt 2 ] || fail "the detail region is blank"
"$plotmira" render "$showcase" --hide-layer 0 -o "$work/hidden.png" --preview || fail "render --hide-layer 0"
[ "$("$compare" --colors "$work/hidden.png")" -eq 1 ] || fail "hiding layer group 0 left ink (every object is on 0-0)"
"$plotmira" render "$showcase" --hide-layer 0:1 --hide-layer 3 -o "$work/hidden-other.png" --preview || fail "render --hide-layer 0:1"
"$compare" "$work/hidden-other.png" "$work/showcase.bmp" > /dev/null || fail "hiding empty layers changed the picture"
for bad in "--region 1,2,3" "--region 1,2,1,5" "--region a,b,c,d" "--hide-layer 16" "--hide-layer 1:x" "--hide-layer -1"; do
    # shellcheck disable=SC2086
    "$plotmira" render "$showcase" $bad -o "$work/bad-option.png" 2> "$work/bad-option.err"
    [ $? -eq 2 ] || fail "$bad was accepted"
    [ ! -e "$work/bad-option.png" ] || fail "$bad wrote a file"
done

# info describes the sheet, views and layers; --texts adds what the drawing says.
info=$("$plotmira" info --texts "$showcase") || fail "info --texts"
for part in '"paper": "A3"' '"widthMm": 420' '"extent": {' '"layerGroups": [' '"name": "L0F"' '"text": "Plotmira"' \
    '"text": "図面データ"' '"dimension": true'; do
    case $info in *"$part"*) ;; *) fail "info --texts lacks $part" ;; esac
done

# A drawing of a version the reader does not draw is refused, not drawn.
if msg=$("$plotmira" render "${showcase%showcase.jww}version250.jww" -o "$work/v250.png" 2>&1); then fail "version 250 converted"; fi
case $msg in *"version250.jww: the drawing's version 250 is not supported"*) ;; *) fail "version 250: $msg" ;; esac
[ ! -e "$work/v250.png" ] || fail "version 250 left a picture"

# Batches: inputs of one name would overwrite each other and are refused
# before anything is written; a missing folder is made.
mkdir -p "$work/a" "$work/b"
cp "$showcase" "$work/a/plan.jww"
cp "$showcase" "$work/b/plan.jww"
"$plotmira" render "$work/a/plan.jww" "$work/b/plan.jww" -d "$work/same" 2> "$work/same.err"
[ $? -eq 2 ] || fail "two inputs named plan.jww were accepted"
grep -q "a/plan.jww and .*b/plan.jww" "$work/same.err" || fail "the refusal does not name both inputs: $(cat "$work/same.err")"
[ ! -e "$work/same" ] || fail "a refused batch made its folder"
"$plotmira" render "$work/a/plan.jww" -d "$work/new/deeper" --preview || fail "a batch into a missing folder"
expect_size "$work/new/deeper/plan.png" 320x226

if [ "$failures" -ne 0 ]; then echo "$failures failed"; exit 1; fi
echo "command-line contract: all cases passed"
