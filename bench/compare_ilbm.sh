#!/usr/bin/env bash
# Whole-process ILBM loads and saves against the peers on the same 8000 x 6000 pictures
# as bench/compare_pcx.sh (the noisy gradient at 24 planes, packed and plain, and its
# 216-colour copy at 8 planes), written by orvi. Needs build/orvi (release preset),
# hyperfine, netpbm, imagemagick and ffmpeg. Not part of CI's test run.
# Usage: bench/compare_ilbm.sh [WORK_FOLDER]   (default /tmp/orvi-compare)
set -euo pipefail
orvi=$(cd "$(dirname "$0")/.." && pwd)/build/orvi
work=${1:-/tmp/orvi-compare}
mkdir -p "$work" && cd "$work"
if [ ! -f s24.iff ]; then
    [ -f smooth.ppm ] || /usr/bin/convert -size 8000x6000 gradient:navy-orange -attenuate 0.4 \
        +noise gaussian -depth 8 smooth.ppm
    [ -f poster.ppm ] || /usr/bin/convert smooth.ppm -posterize 6 -depth 8 poster.ppm
    "$orvi" convert smooth.ppm s24.iff
    "$orvi" convert smooth.ppm s24p.iff --no-compress
    "$orvi" convert poster.ppm s8.iff --depth 8
fi
compare() {
    echo "### $1"
    hyperfine -N --warmup 1 --runs 5 --export-markdown cmp.md "${@:2}" >/dev/null
    sed "s|$orvi|orvi|g" cmp.md
    echo
}
for file in s24 s24p s8; do
    compare "load $file.iff" "$orvi convert $file.iff o.ppm" "sh -c 'ilbmtoppm $file.iff > n.ppm'" \
        "ffmpeg -loglevel error -y -i $file.iff -f image2 -c:v ppm f.ppm"
done
compare "save 24 planes, ByteRun1" "$orvi convert smooth.ppm o.iff" \
    "sh -c 'ppmtoilbm -24force -compress smooth.ppm > n.iff'"
compare "save 24 planes, plain" "$orvi convert smooth.ppm o.iff --no-compress" \
    "sh -c 'ppmtoilbm -24force -nocompress smooth.ppm > n.iff'"
