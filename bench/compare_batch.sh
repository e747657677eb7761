#!/usr/bin/env bash
# A batch of 200 small pictures (320 x 200, 32-colour ILBM, as an Amiga drew them)
# converted to PNG with one worker and with two. The pictures are made from the
# corpus's peppers photograph, each with its own brightness and orientation. Needs
# build/orvi (release preset), hyperfine and ../shared/corpus. Not part of CI's test run.
# Usage: bench/compare_batch.sh [WORK_FOLDER] (default /tmp/orvi-batch)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
orvi=$root/build/orvi
work=${1:-/tmp/orvi-batch}
photo=$root/../shared/corpus/pnm/p6-16bit-157x151-libtiff.ppm
mkdir -p "$work/iff" && cd "$work"
if [ ! -f iff/p199.iff ]; then
    "$orvi" convert "$photo" base.ppm --resize 320x200
    flips=("" "--flip h" "--flip v" "--flip h --flip v")
    for i in $(seq 0 199); do
        # shellcheck disable=SC2086
        "$orvi" convert base.ppm "iff/p$i.iff" --brightness $((i % 41 - 20)) ${flips[$((i % 4))]} \
            --depth 5 --reduce --quiet
    done
fi
hyperfine -N --warmup 1 --runs 10 --export-markdown cmp.md \
    "$orvi convert --to png --out-dir png1 --jobs 1 --quiet $(echo iff/*.iff)" \
    "$orvi convert --to png --out-dir png2 --jobs 2 --quiet $(echo iff/*.iff)" >/dev/null
sed -e "s|$orvi|orvi|g" -e "s|iff/p[0-9]*\.iff ||g" -e "s|iff/p[0-9]*\.iff|iff/*.iff|g" cmp.md
