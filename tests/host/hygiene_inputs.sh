#!/bin/sh
# Writes the mixed inputs of the hygiene runs into DIR: a good drawing, a
# figure, a cut drawing, a foreign file and a damaged drawing, and
# DIR/list.txt naming them as Windows paths, one per line.
# usage: hygiene_inputs.sh DIR SHOWCASE.jww
set -eu
dir=$1 showcase=$2
mkdir -p "$dir"
cp "$showcase" "$dir/good.jww"
cp "${showcase%.jww}.jws" "$dir/figure.jws"
head -c 3000 "$showcase" > "$dir/cut.jww"
head -c 5000 /dev/zero | tr '\000' 'B' > "$dir/foreign.jww"
# The showcase with bytes of its object lists overwritten.
cp "$showcase" "$dir/damaged.jww"
size=$(wc -c < "$showcase")
pos=900
while [ "$pos" -lt "$size" ]; do
    printf '\377' | dd of="$dir/damaged.jww" bs=1 seek="$pos" conv=notrunc 2>/dev/null
    pos=$((pos + 397))
done
for f in good.jww figure.jws cut.jww foreign.jww damaged.jww; do printf 'Z:%s\n' "$dir/$f"; done > "$dir/list.txt"
