#!/bin/sh
# PDF and SVG output through the converter, read back by the programs people
# open them with: poppler's pdftoppm draws every corpus drawing's PDF at the
# size of the converter's picture without smoothing, and at least 98 % of the
# ink of each lies within a pixel of the other's (a few files, listed in
# large_arcs.txt with their own bound, have arcs so large that the picture's
# chords stand off the true curves); rsvg-convert does the same for SVGs,
# which xmllint must find well-formed. pdfinfo gives the paper, pdffonts the
# embedded subsets, pdftotext the texts the reader stored. A set of drawings
# with damaged ones among them makes one PDF of the good ones.
# usage: vector_test.sh PLOTMIRA IMAGE_COMPARE SHOWCASE.jww CORPUS_DIR WORK_DIR [STRIDE]
# With STRIDE n (the sanitizer build), every n-th corpus file only.
# (PLOTMIRA_CORPUS_DIR in the environment overrides CORPUS_DIR)
set -u
plotmira=$1 compare=$2 showcase=$3 corpus=${PLOTMIRA_CORPUS_DIR:-$4} work=$5 stride=${6:-1}
here=$(cd "$(dirname "$0")" && pwd)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
for tool in pdftoppm pdfinfo pdffonts pdftotext rsvg-convert xmllint; do
    if ! command -v $tool >/dev/null 2>&1; then
        [ "${PLOTMIRA_REQUIRE_ALL:-0}" = 1 ] && { echo "FAIL: $tool is missing (PLOTMIRA_REQUIRE_ALL=1)"; exit 1; }
        echo "SKIP: $tool is missing (Debian: poppler-utils, librsvg2-bin, libxml2-utils)"
        exit 77
    fi
done
dir="$work/vector"
rm -rf "$dir"
mkdir -p "$dir/in"
export PLOTMIRA_REGISTRY="$dir/registry.reg" PLOTMIRA_DESKTOP_WIDTH=1920 WINEPREFIX=/nonexistent

# The inputs under lower-case names: an upper-case .JWW is drawn by the
# converter in its print view, which a PDF of the sheet does not show.
cp "$showcase" "$dir/in/showcase.jww"
cp "${showcase%.jww}.jws" "$dir/in/showcase-figure.jws"
n=0
if [ -d "$corpus" ]; then
    find "$corpus" -iname '*.jw[ws]' | sort > "$dir/corpus.txt"
    while IFS= read -r f; do
        n=$((n + 1))
        [ $((n % stride)) -eq 0 ] || continue
        ext=$(printf '%s' "${f##*.}" | tr 'A-Z' 'a-z')
        ln -s "$f" "$dir/in/$(printf '%03d' $n)-$(basename "${f%.*}" | tr ' /' '__').$ext"
    done < "$dir/corpus.txt"
elif [ "${PLOTMIRA_REQUIRE_CORPUS:-0}" = 1 ]; then
    fail "no corpus at $corpus (PLOTMIRA_REQUIRE_CORPUS=1)"
else
    echo "note: corpus not found at $corpus; the project's own drawings only"
fi

bound_of() { # NAME: the ink share it must reach
    b=$(sed -n "s/^$(basename "$1" | sed 's/^[0-9]*-//; s/\.[^.]*$//')	\([0-9.]*\)	.*/\1/p" "$here/large_arcs.txt")
    echo "${b:-0.98}"
}

# Every input: PDF against the picture; every sixth and the showcase as SVG too.
i=0
for input in "$dir"/in/*; do
    i=$((i + 1))
    name=$(basename "$input")
    "$plotmira" render "$input" -o "$dir/$name.png" || { fail "$name: no picture"; continue; }
    "$plotmira" render "$input" -o "$dir/$name.pdf" || { fail "$name: no PDF"; continue; }
    size=$("$compare" --size "$dir/$name.png")
    pdftoppm -scale-to-x "${size%x*}" -scale-to-y "${size#*x}" -aa no -aaVector no -png -singlefile \
        "$dir/$name.pdf" "$dir/$name.pdf" || { fail "$name: pdftoppm cannot read the PDF"; continue; }
    bound=$(bound_of "$name")
    echo "$name: PDF $(stat -c %s "$dir/$name.pdf") bytes, $("$compare" --ink "$dir/$name.png" "$dir/$name.pdf.png" 0)"
    "$compare" --ink "$dir/$name.png" "$dir/$name.pdf.png" "$bound" > /dev/null || fail "$name: the PDF's ink is not within a pixel of the picture's (at least $bound)"
    [ "$(stat -c %s "$dir/$name.pdf")" -le 2097152 ] || fail "$name: the PDF is over 2 MB"
    case $((i % 6)):$name in
    0:* | *:showcase*)
        "$plotmira" render "$input" -o "$dir/$name.svg" || { fail "$name: no SVG"; continue; }
        xmllint --noout "$dir/$name.svg" || fail "$name: the SVG is not well-formed"
        rsvg-convert -w "${size%x*}" -h "${size#*x}" -b white "$dir/$name.svg" -o "$dir/$name.svg.png" ||
            fail "$name: rsvg-convert cannot read the SVG"
        echo "$name: SVG $("$compare" --ink "$dir/$name.png" "$dir/$name.svg.png" 0)"
        "$compare" --ink "$dir/$name.png" "$dir/$name.svg.png" "$bound" > /dev/null ||
            fail "$name: the SVG's ink is not within a pixel of the picture's"
        ;;
    esac
    rm -f "$dir/$name.png" "$dir/$name.pdf.png" "$dir/$name.svg.png"
done
[ "$i" -ge 2 ] || fail "no inputs were drawn"

# The paper: an A3 drawing is 420 x 297 mm; the SVG says so in millimetres.
pdfinfo "$dir/showcase.jww.pdf" | grep -q "^Page size: *1190.55 x 841.89 pts (A3)" ||
    fail "the showcase's page is not A3: $(pdfinfo "$dir/showcase.jww.pdf" | grep 'Page size')"
grep -q 'width="420mm" height="297mm"' "$dir/showcase.jww.svg" || fail "the SVG is not 420 x 297 mm"
# The faces embedded as subsets, the texts searchable.
pdffonts "$dir/showcase.jww.pdf" | tail -n +3 > "$dir/fonts.txt"
[ -s "$dir/fonts.txt" ] || fail "the showcase's PDF has no fonts"
while read -r face rest; do
    case $face in [A-Z][A-Z][A-Z][A-Z][A-Z][A-Z]+IPA*) ;; *) fail "the face $face is not an IPA subset" ;; esac
    echo "$rest" | grep -q "yes yes yes" || fail "the face $face is not embedded as a subset with Unicode: $rest"
done < "$dir/fonts.txt"
texts_found() { # PDF INPUT: every text the reader stored is in the PDF's text
    pdftotext -raw "$1" "$dir/text.txt" || { fail "pdftotext cannot read $1"; return; }
    "$plotmira" info --texts "$2" > "$dir/texts.json" || { fail "no texts of $2"; return; }
    missing=$(/usr/bin/python3 - "$dir/texts.json" "$dir/text.txt" <<'PY'
import json, re, sys
texts = [re.sub(r"\s", "", t["text"]) for t in json.load(open(sys.argv[1]))["texts"]]
body = re.sub(r"\s", "", open(sys.argv[2], encoding="utf-8").read())
print(" | ".join(t for t in texts if t and t not in body))
PY
)
    [ -z "$missing" ] || fail "$(basename "$2"): texts not in the PDF: $missing"
}
texts_found "$dir/showcase.jww.pdf" "$dir/in/showcase.jww"
grep -q "図面データ" "$dir/text.txt" || fail "the showcase's Japanese text is not in its PDF"
for sample in "$dir"/in/*-Test1.jww "$dir"/in/*-サンプル.jww; do
    [ -e "$sample" ] && texts_found "$dir/$(basename "$sample").pdf" "$sample"
done
# The texts of the file macros, the drawing's name among them, as drawn.
cp "${showcase%showcase.jww}macros.jww" "$dir/macros.jww"
"$plotmira" render "$dir/macros.jww" -o "$dir/macros.jww.pdf" || fail "macros.jww: no PDF"
texts_found "$dir/macros.jww.pdf" "$dir/macros.jww"
grep -q "macros\.jww" "$dir/text.txt" || fail "the macro drawing's name is not in its PDF"

# Pens, layers and a region as for pictures.
"$plotmira" render "$dir/in/showcase.jww" --print -o "$dir/print.pdf" &&
    "$plotmira" render "$dir/in/showcase.jww" --print -o "$dir/print-picture.png" || fail "no PDF or picture with the printer pens"
pdftoppm -scale-to-x 1920 -scale-to-y 1357 -aa no -aaVector no -png -singlefile "$dir/print.pdf" "$dir/print"
"$compare" --ink "$dir/print-picture.png" "$dir/print.png" 0.98 || fail "the printer pens' PDF differs from their picture"
# The printer pens' colours are the picture's: every colour the PDF shows is
# one of the print picture's, and the screen pens' PDF shows another.
"$plotmira" render "$dir/in/showcase.jww" -o "$dir/screen.pdf" &&
    pdftoppm -scale-to-x 1920 -scale-to-y 1357 -aa no -aaVector no -png -singlefile "$dir/screen.pdf" "$dir/screen"
colours_within() { # PICTURE OF: true when every colour of PICTURE is one of OF's
    /usr/bin/python3 -c 'import sys; from PIL import Image
c = lambda p: {rgb for n, rgb in Image.open(p).convert("RGB").getcolors(1 << 24)}
sys.exit(0 if c(sys.argv[1]) <= c(sys.argv[2]) else 1)' "$1" "$2"
}
colours_within "$dir/print.png" "$dir/print-picture.png" || fail "the printer pens' PDF has colours their picture has not"
colours_within "$dir/screen.png" "$dir/print-picture.png" && fail "the screen pens' PDF has only the printer pens' colours"
"$plotmira" render "$dir/in/showcase.jww" --hide-layer 0 -o "$dir/hidden.pdf" &&
    "$plotmira" render "$dir/in/showcase.jww" --hide-layer 0 -o "$dir/hidden-picture.png" &&
    "$plotmira" render "$dir/in/showcase.jww" -o "$dir/whole-picture.png" || fail "no PDF or picture with a hidden layer group"
"$compare" "$dir/hidden-picture.png" "$dir/whole-picture.png" > /dev/null && fail "hiding layer group 0 hides nothing"
pdftoppm -scale-to-x 1920 -scale-to-y 1357 -aa no -aaVector no -png -singlefile "$dir/hidden.pdf" "$dir/hidden"
"$compare" --ink "$dir/hidden-picture.png" "$dir/hidden.png" 0.98 || fail "the PDF with a hidden layer group differs from the picture"
region=-150,-100,50,40
"$plotmira" render "$dir/in/showcase.jww" --region $region -o "$dir/region.pdf" &&
    "$plotmira" render "$dir/in/showcase.jww" --region $region -o "$dir/region-picture.png" ||
    fail "no PDF or picture of a region"
pdfinfo "$dir/region.pdf" | grep -q "^Page size: *566.9[0-9]* x 396.8[0-9]* pts" ||
    fail "the region's page is not 200 x 140 mm: $(pdfinfo "$dir/region.pdf" | grep 'Page size')"
size=$("$compare" --size "$dir/region-picture.png")
pdftoppm -scale-to-x "${size%x*}" -scale-to-y "${size#*x}" -aa no -aaVector no -png -singlefile "$dir/region.pdf" "$dir/region"
"$compare" --ink "$dir/region-picture.png" "$dir/region.png" 0.98 || fail "the region's PDF differs from its picture"

# A set: five drawings as five pages of their sizes, the damaged and the
# foreign inputs among them reported and left out.
head -c 300 "$showcase" > "$dir/damaged.jww"
head -c 4000 /dev/urandom > "$dir/foreign.jww"
set -- "$dir/in/showcase.jww" "$dir/damaged.jww" "$dir/in/showcase-figure.jws"
for f in "$dir"/in/0*.jww; do [ -e "$f" ] && [ $# -lt 6 ] && set -- "$@" "$f"; done
set -- "$@" "$dir/foreign.jww"
"$plotmira" render "$@" -o "$dir/set.pdf" 2> "$dir/set.err"
status=$?
cat "$dir/set.err"
[ $status -eq 1 ] || fail "a set with damaged inputs exits $status, not 1"
grep -q "damaged.jww: " "$dir/set.err" && grep -q "foreign.jww: " "$dir/set.err" || fail "the bad inputs of the set were not reported"
pages=$(pdfinfo "$dir/set.pdf" 2>/dev/null | sed -n 's/^Pages: *//p')
[ "${pages:-0}" -eq $(($# - 2)) ] || fail "the set has ${pages:-no} pages, not $(($# - 2))"
pdfinfo -f 1 -l 2 "$dir/set.pdf" | grep -q "^Page    1 size: *1190.55 x 841.89" || fail "the set's first page is not the showcase's A3"
[ "$(pdfinfo -f 2 -l 2 "$dir/set.pdf" | sed -n 's/^Page    2 size: *//p')" != "1190.55 x 841.89 pts (A3)" ] ||
    fail "the set's second page (the figure) has the drawing's size"
"$plotmira" render "$dir/damaged.jww" -o "$dir/none.pdf" 2>/dev/null && fail "a damaged input alone made a PDF"
[ ! -e "$dir/none.pdf" ] && [ ! -e "$dir/none.pdf.part" ] || fail "a failed PDF left a file behind"

[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "PDF and SVG output: all cases passed"
