#!/usr/bin/env bash
# The cost of flushing saves to the disk: an 8000 x 6000 raw PPM converted onto itself in
# a folder on disk (not tmpfs) ten times, timing the whole process and, through strace,
# the fsync of the new file and of its folder.
# Usage: bench/measure_fsync.sh FOLDER_ON_DISK (needs strace)
set -euo pipefail
folder=$1
orvi=${ORVI:-$(dirname "$0")/../build/orvi}
mkdir -p "$folder"
python3 -c "
import os
with open('$folder/in.ppm', 'wb') as f:
    f.write(b'P6\n8000 6000\n255\n'); f.write(os.urandom(8000 * 6000 * 3))"
"$orvi" convert "$folder/in.ppm" "$folder/out.ppm"
for run in $(seq 10); do
    start=$(date +%s.%N)
    strace -e trace=fsync -T -o "$folder/trace" "$orvi" convert "$folder/in.ppm" "$folder/out.ppm"
    end=$(date +%s.%N)
    awk -v whole="$(echo "$end - $start" | bc)" '/fsync/ { gsub(/[<>]/, "", $NF); t[++n] = $NF }
        END { printf "whole %.3f s  fsync file %.4f s  fsync folder %.4f s\n", whole, t[1], t[2] }' \
        "$folder/trace"
done
rm -f "$folder/in.ppm" "$folder/out.ppm" "$folder/trace"
