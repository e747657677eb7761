#!/usr/bin/env bash
# Whole-process PCX loads and saves against the peers on the same 8000 x 6000 pictures:
# a noisy gradient (ImageMagick: gradient plus Gaussian noise) as 24-bit PCX, and its
# 6-level posterised copy (216 colours) as 8-bit PCX with a palette. Needs build/orvi
# (release preset), hyperfine, netpbm, imagemagick, python3-pil and ffmpeg. Not part of
# CI's test run. Usage: bench/compare_pcx.sh [WORK_FOLDER] (default /tmp/orvi-compare)
set -euo pipefail
orvi=$(cd "$(dirname "$0")/.." && pwd)/build/orvi
work=${1:-/tmp/orvi-compare}
mkdir -p "$work" && cd "$work"
if [ ! -f a24.pcx ]; then
    /usr/bin/convert -size 8000x6000 gradient:navy-orange -attenuate 0.4 +noise gaussian -depth 8 smooth.ppm
    /usr/bin/convert smooth.ppm -posterize 6 -depth 8 poster.ppm
    "$orvi" convert smooth.ppm a24.pcx
    "$orvi" convert poster.ppm a8.pcx --depth 8
fi
pil="/usr/bin/python3 -c"
compare() {
    echo "### $1"
    hyperfine -N --warmup 1 --runs 5 --export-markdown cmp.md "${@:2}" >/dev/null
    sed "s|$orvi|orvi|g" cmp.md
    echo
}
for depth in 24 8; do
    compare "load, $depth-bit" "$orvi convert a$depth.pcx o.ppm" "sh -c 'pcxtoppm a$depth.pcx > n.ppm'" \
        "$pil \"from PIL import Image; Image.open('a$depth.pcx').convert('RGB').save('p.ppm')\"" \
        "ffmpeg -loglevel error -y -i a$depth.pcx -f image2 -c:v ppm f.ppm" "/usr/bin/convert a$depth.pcx m.ppm"
done
compare "save, 24-bit" "$orvi convert smooth.ppm o.pcx" \
    "$pil \"from PIL import Image; Image.open('smooth.ppm').save('p.pcx')\"" \
    "sh -c 'ppmtopcx -24bit smooth.ppm > n.pcx'" "ffmpeg -loglevel error -y -i smooth.ppm f.pcx" \
    "/usr/bin/convert smooth.ppm m.pcx"
compare "save, 8-bit with a palette" "$orvi convert poster.ppm o.pcx --depth 8" \
    "sh -c 'ppmtopcx -8bit poster.ppm > n.pcx'"
