#!/usr/bin/env bash
# Whole-process comparison of `orvi convert` with the peers a user would pick instead,
# on the same files in one run. Needs the release build (build/orvi) and Debian's
# hyperfine, netpbm, imagemagick, libvips-tools and ffmpeg. Not part of CI's test run.
# Usage: bench/compare.sh [WORK_FOLDER]   (default /tmp/orvi-compare; about 1.5 GB)
set -euo pipefail
orvi=$(cd "$(dirname "$0")/.." && pwd)/build/orvi
work=${1:-/tmp/orvi-compare}
mkdir -p "$work" && cd "$work"

if [ ! -f a.ppm ]; then
    python3 - <<'PY'
import os
def ppm(name, w, h):
    with open(name, 'wb') as f:
        f.write(b'P6\n%d %d\n255\n' % (w, h))
        f.write(os.urandom(w * h * 3))
ppm('a.ppm', 8000, 6000)
ppm('small.ppm', 16, 12)
PY
    "$orvi" convert a.ppm plain.ppm --plain
fi

run() { hyperfine -N --warmup "$1" --runs "$2" --export-markdown "$3.md" "${@:4}" >/dev/null; cat "$3.md"; echo; }

echo "### raw PPM copy, 8000 x 6000"
run 2 10 raw "$orvi convert a.ppm b.ppm" "env VIPS_CONCURRENCY=1 vips copy a.ppm v.ppm"
echo "### plain PPM load (P3 to P6), 8000 x 6000"
run 1 5 plain-load "$orvi convert plain.ppm b.ppm" \
    "ffmpeg -loglevel error -y -i plain.ppm -f image2 -c:v ppm f.ppm" \
    "sh -c 'pamtopnm plain.ppm > n.ppm'" "/usr/bin/convert plain.ppm m.ppm"
echo "### plain PPM save (P6 to P3), 8000 x 6000"
run 1 5 plain-save "$orvi convert a.ppm p.ppm --plain" "/usr/bin/convert a.ppm -compress none m.ppm" \
    "sh -c 'pnmtoplainpnm a.ppm > n.ppm'"
echo "### 16 x 12 picture, start-up included"
run 5 200 small "$orvi convert small.ppm s.ppm"
