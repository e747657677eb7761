#!/usr/bin/env bash
# Whole-process IFF ANIM decoding and GIF and WebP writing against the peers, in one run
# of hyperfine: the corpus animation (../shared) decoded to every frame (ours to PPM
# files in a folder, FFmpeg's to raw RGB frames), then written as GIF (ours against
# FFmpeg from the same frames) and as lossless WebP (ours against img2webp). Needs
# build/orvi (release preset; ORVI= names another), hyperfine, ffmpeg and webp. Not part
# of CI's test run.
# Usage: bench/compare_anim.sh [WORK_FOLDER]   (default /tmp/orvi-compare-anim)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
orvi=${ORVI:-$root/build/orvi}
anim=$root/../shared/corpus/ilbm/anim5-320x256-4plane-pydpainter.anim
work=${1:-/tmp/orvi-compare-anim}
mkdir -p "$work" && cd "$work"
rm -rf frames && "$orvi" convert "$anim" frames/ --to png
compare() {
    echo "### $1"
    hyperfine -N --warmup 3 --runs 20 --export-markdown cmp.md "${@:2}" >/dev/null
    sed "s|$orvi|orvi|g; s|$anim|anim.anim|g" cmp.md
    echo
}
# `orvi info` draws every frame (it says where an animation stops); into a folder each
# frame is a file of its own, flushed to the disk before it takes its name.
compare "decode every frame" "$orvi info $anim" "$orvi convert $anim out/ --to ppm" \
    "ffmpeg -loglevel error -y -i $anim -f rawvideo -pix_fmt rgb24 raw.rgb"
compare "write GIF" "$orvi convert $anim o.gif" \
    "ffmpeg -loglevel error -y -framerate 15 -i frames/anim5-320x256-4plane-pydpainter-%02d.png f.gif"
compare "write lossless WebP" "$orvi convert $anim o.webp" \
    "img2webp -lossless -d 67 -o i.webp $(ls frames/*.png | tr '\n' ' ')"
ls -l o.gif f.gif o.webp i.webp | awk '{print $5, $9}'
