#!/usr/bin/env bash
# Whole-process PNG saves and loads against netpbm's pnmtopng / pngtopnm (the same
# libpng and zlib, level 6) and vips on 8000 x 6000 pictures: a noisy gradient (photo
# like), its posterised copy (216 colours, written with a palette by both) and random
# samples. Needs build/orvi (release preset), hyperfine, netpbm, imagemagick and
# libvips-tools. Not part of CI's test run.
# Usage: bench/compare_png.sh [WORK_FOLDER] (default /tmp/orvi-compare)
set -euo pipefail
orvi=$(cd "$(dirname "$0")/.." && pwd)/build/orvi
work=${1:-/tmp/orvi-compare}
mkdir -p "$work" && cd "$work"
if [ ! -f smooth.ppm ]; then
    /usr/bin/convert -size 8000x6000 gradient:navy-orange -attenuate 0.4 +noise gaussian -depth 8 smooth.ppm
    /usr/bin/convert smooth.ppm -posterize 6 -depth 8 poster.ppm
fi
if [ ! -f a.ppm ]; then
    { printf 'P6\n8000 6000\n255\n'; head -c 144000000 /dev/urandom; } > a.ppm
fi
compare() {
    echo "### $1"
    hyperfine -N --warmup 1 --runs 5 --export-markdown cmp.md "${@:2}" >/dev/null
    sed "s|$orvi|orvi|g" cmp.md
    echo
}
for picture in smooth poster a; do
    compare "save $picture.ppm as PNG" "$orvi convert $picture.ppm o.png" \
        "sh -c 'pnmtopng -compression 6 $picture.ppm > n.png'" \
        "env VIPS_CONCURRENCY=1 vips pngsave $picture.ppm v.png --compression 6"
    ls -l o.png n.png v.png | awk '{print "    " $5 " bytes  " $9}'
    echo
done
"$orvi" convert smooth.ppm smooth.png
compare "load smooth.png" "$orvi convert smooth.png o.ppm" "sh -c 'pngtopnm smooth.png > n.ppm'" \
    "env VIPS_CONCURRENCY=1 vips copy smooth.png v.ppm"
