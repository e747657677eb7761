#!/usr/bin/env bash
# Whole-process comparison of `orvi convert a.ppm b.ppm --OPERATION` with the peers on
# the same 8000 x 6000 three-byte PPM, in one run. Needs build/orvi (release preset),
# hyperfine, netpbm, imagemagick, libvips-tools and python3-pil from Debian. Not part
# of CI's test run. Usage: bench/compare_ops.sh [WORK_FOLDER] (default /tmp/orvi-compare)
set -euo pipefail
orvi=$(cd "$(dirname "$0")/.." && pwd)/build/orvi
work=${1:-/tmp/orvi-compare}
mkdir -p "$work" && cd "$work"
[ -f a.ppm ] || python3 -c "
import os
with open('a.ppm', 'wb') as f:
    f.write(b'P6\n8000 6000\n255\n'); f.write(os.urandom(8000 * 6000 * 3))"
printf '3 3 16 0\n1 2 1\n2 4 2\n1 2 1\n' > blur3.mat
printf '5 5 81 0\n1 2 3 2 1\n2 4 6 4 2\n3 6 9 6 3\n2 4 6 4 2\n1 2 3 2 1\n' > dense5.mat
vips1="env VIPS_CONCURRENCY=1 vips"
pil="/usr/bin/python3 -c"

compare() { # title, then the commands
    echo "### $1"
    hyperfine -N --warmup 2 --runs 6 --export-markdown cmp.md "${@:2}" >/dev/null
    sed "s|$orvi|orvi|g" cmp.md
    echo
}

compare "copy" "$orvi convert a.ppm b.ppm" "$vips1 copy a.ppm v.ppm"
compare "negate" "$orvi convert a.ppm b.ppm --negate" "$vips1 invert a.ppm v.ppm"
compare "gamma" "$orvi convert a.ppm b.ppm --gamma 2" "$vips1 gamma a.ppm v.ppm --exponent 2"
compare "flip h" "$orvi convert a.ppm b.ppm --flip h" "$vips1 flip a.ppm v.ppm horizontal"
compare "flip v" "$orvi convert a.ppm b.ppm --flip v" "$vips1 flip a.ppm v.ppm vertical"
compare "rotate cw" "$orvi convert a.ppm b.ppm --rotate cw" "$vips1 rot a.ppm v.ppm d90"
compare "rotate ccw" "$orvi convert a.ppm b.ppm --rotate ccw" "$vips1 rot a.ppm v.ppm d270"
compare "brightness" "$orvi convert a.ppm b.ppm --brightness 20" \
    "$pil \"from PIL import Image; Image.open('a.ppm').point(lambda v: min(255, v + 20)).save('p.ppm')\"" \
    "$vips1 linear a.ppm v.ppm 1 20 --uchar" "/usr/bin/convert a.ppm -evaluate add 8% m.ppm"
compare "contrast" "$orvi convert a.ppm b.ppm --contrast 40" "sh -c 'pnmnorm -bpercent 2 -wpercent 2 a.ppm > n.ppm'" \
    "/usr/bin/convert a.ppm -sigmoidal-contrast 5x50% m.ppm"
compare "grey" "$orvi convert a.ppm b.pgm --gray" "sh -c 'ppmtopgm a.ppm > n.pgm'" \
    "$vips1 colourspace a.ppm v.pgm b-w"
compare "resize 0.7" "$orvi convert a.ppm b.ppm --resize 5600x4200" \
    "$vips1 resize a.ppm v.ppm 0.7 --kernel nearest"
compare "convolve 3 x 3" "$orvi convert a.ppm b.ppm --convolve gaussian" \
    "$vips1 conv a.ppm v.ppm blur3.mat --precision integer"
compare "convolve 5 x 5 dense" \
    "$orvi convert a.ppm b.ppm --kernel 1,2,3,2,1,2,4,6,4,2,3,6,9,6,3,2,4,6,4,2,1,2,3,2,1" \
    "$vips1 conv a.ppm v.ppm dense5.mat --precision integer"
