#!/usr/bin/env bash
# A batch of 200 small pictures (320 x 200, 32-colour ILBM, as an Amiga drew them)
# converted to PNG with one worker and with two. The pictures are made from the
# corpus's peppers photograph, each with its own brightness and orientation. Needs
# build/orvi (release preset) and ../shared/corpus. Not part of CI's test run.
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
# One worker and two take turns, ten rounds, so that both see the same machine.
python3 - "$orvi" iff/*.iff <<'PY'
import statistics, subprocess, sys, time
orvi, files = sys.argv[1], sys.argv[2:]
times = {1: [], 2: []}
for _ in range(10):
    for jobs in (1, 2):
        start = time.perf_counter()
        subprocess.run([orvi, "convert", "--to", "png", "--out-dir", f"png{jobs}", "--jobs",
                        str(jobs), "--quiet", *files], check=True)
        times[jobs].append(time.perf_counter() - start)
print("| 200 files, ILBM to PNG | median s | min s | max s | per file ms |")
print("|---|---:|---:|---:|---:|")
for jobs, t in times.items():
    print(f"| --jobs {jobs} | {statistics.median(t):.3f} | {min(t):.3f} | {max(t):.3f} | "
          f"{statistics.median(t) / len(files) * 1000:.2f} |")
print(f"two workers: {statistics.median(times[1]) / statistics.median(times[2]):.2f} x one")
PY
