#!/usr/bin/env bash
# Whole-process XPM loads (to PPM) against the peers, on generated files: 8000 x 6000 at
# 2 characters per pixel (256 colours), 2000 x 2000 at 1 (64 colours) and at 3 (1000
# colours), all hexadecimal; then XPM writing against ImageMagick. Needs build/orvi (release
# preset), hyperfine, graphicsmagick, imagemagick, ffmpeg and python3. Not part of CI's
# test run.
# Usage: bench/compare_xpm.sh [WORK_FOLDER]   (default /tmp/orvi-compare)
set -euo pipefail
orvi=$(cd "$(dirname "$0")/.." && pwd)/build/orvi
work=${1:-/tmp/orvi-compare}
mkdir -p "$work" && cd "$work"
python3 - <<'PY'
import os, random
random.seed(1)
chars = [chr(c) for c in range(35, 127) if chr(c) not in '"\\']
def write(name, w, h, cpp, ncol):
    if os.path.exists(name):
        return
    codes = []
    for i in range(ncol):
        n, code = i, ''
        for _ in range(cpp):
            code += chars[n % len(chars)]
            n //= len(chars)
        codes.append(code)
    with open(name, 'w') as f:
        f.write('/* XPM */\nstatic char *p[] = {\n"%d %d %d %d",\n' % (w, h, ncol, cpp))
        for code in codes:
            f.write('"%s c #%06X",\n' % (code, random.randrange(1 << 24)))
        row = [random.choice(codes) for _ in range(4096)]
        for y in range(h):
            f.write('"%s"%s\n' % (''.join(row[(y * 7 + x) % 4096] for x in range(w)), ',' if y < h - 1 else ''))
        f.write('};\n')
write('big2.xpm', 8000, 6000, 2, 256)
write('mid1.xpm', 2000, 2000, 1, 64)
write('mid3.xpm', 2000, 2000, 3, 1000)
PY
for file in big2 mid1 mid3; do
    echo "### $file.xpm"
    hyperfine -N --warmup 1 --runs 5 --export-markdown cmp.md "$orvi convert $file.xpm x.ppm" \
        "gm convert $file.xpm g.ppm" "ffmpeg -loglevel error -y -i $file.xpm -f image2 -c:v ppm f.ppm" \
        "/usr/bin/convert $file.xpm m.ppm" >/dev/null
    sed "s|$orvi|orvi|g" cmp.md
    echo
done

# Writing: the 256-colour 8000 x 6000 picture from PPM to XPM, ours against ImageMagick's
# (Debian's imagemagick), in alternating pairs; the median of three each.
"$orvi" convert big2.xpm big2.ppm
python3 - "$orvi" <<'PY'
import statistics, subprocess, sys, time
jobs = {"orvi convert big2.ppm o.xpm": [sys.argv[1], "convert", "big2.ppm", "o.xpm"],
        "convert big2.ppm m.xpm (ImageMagick)": ["/usr/bin/convert", "big2.ppm", "m.xpm"]}
times = {label: [] for label in jobs}
for _ in range(3):
    for label, command in jobs.items():
        start = time.perf_counter()
        subprocess.run(command, check=True)
        times[label].append(time.perf_counter() - start)
print("| write 8000 x 6000, 256 colours, to XPM | median s | min s | max s |")
print("|---|---:|---:|---:|")
for label, t in times.items():
    print(f"| `{label}` | {statistics.median(t):.3f} | {min(t):.3f} | {max(t):.3f} |")
ours, theirs = (statistics.median(t) for t in times.values())
print(f"\nImageMagick takes {theirs / ours:.1f} times as long.")
PY
