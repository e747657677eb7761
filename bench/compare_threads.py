#!/usr/bin/python3
"""One picture's work on one thread and on two, against libvips with its default threads:
whole-process `orvi convert a.ppm OUT --OPERATION --threads N` on an 8000 x 6000 three-byte
PPM. The three commands of a job take turns, nine rounds, and the medians are compared,
so that all three see the same machine. The folder should be on tmpfs: on a disk, the
flush of each 144 MB output (orvi's saves wait for it, libvips does not) hides the work.
Needs build/orvi (release preset) and libvips-tools. Not part of CI's test run.

Usage: bench/compare_threads.py [WORK_FOLDER]   (default /dev/shm/orvi-threads)
"""
import os
import pathlib
import shlex
import statistics
import subprocess
import sys
import time

orvi = str(pathlib.Path(__file__).resolve().parent.parent / "build" / "orvi")
work = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "/dev/shm/orvi-threads")
work.mkdir(parents=True, exist_ok=True)
os.chdir(work)
if not pathlib.Path("a.ppm").exists():
    with open("a.ppm", "wb") as f:
        f.write(b"P6\n8000 6000\n255\n" + os.urandom(8000 * 6000 * 3))
pathlib.Path("blur3.mat").write_text("3 3 16 0\n1 2 1\n2 4 2\n1 2 1\n")
pathlib.Path("dense5.mat").write_text(
    "5 5 81 0\n1 2 3 2 1\n2 4 6 4 2\n3 6 9 6 3\n2 4 6 4 2\n1 2 3 2 1\n")
dense5 = "1,2,3,2,1,2,4,6,4,2,3,6,9,6,3,2,4,6,4,2,1,2,3,2,1"
jobs = [
    ("copy", "b.ppm", "vips copy a.ppm v.ppm"),
    ("negate", "b.ppm --negate", "vips invert a.ppm v.ppm"),
    ("gamma", "b.ppm --gamma 2", "vips gamma a.ppm v.ppm --exponent 2"),
    ("channel offsets", "b.ppm --rgb 10,-5,3", None),
    ("flip h", "b.ppm --flip h", "vips flip a.ppm v.ppm horizontal"),
    ("flip v", "b.ppm --flip v", "vips flip a.ppm v.ppm vertical"),
    ("rotate cw", "b.ppm --rotate cw", "vips rot a.ppm v.ppm d90"),
    ("grey", "b.pgm --gray", "vips colourspace a.ppm v.pgm b-w"),
    ("resize 0.7", "b.ppm --resize 5600x4200", "vips resize a.ppm v.ppm 0.7 --kernel nearest"),
    ("convolve 3 x 3", "b.ppm --convolve gaussian",
     "vips conv a.ppm v.ppm blur3.mat --precision integer"),
    ("convolve 5 x 5", f"b.ppm --kernel {dense5}",
     "vips conv a.ppm v.ppm dense5.mat --precision integer"),
    ("PCX writing", "b.pcx", None),
    ("ILBM writing", "b.iff", None),
]
print("| job, 8000 x 6000 | 1 thread ms | 2 threads ms | 1 / 2 | libvips ms |")
print("|---|---:|---:|---:|---:|")
for title, arguments, peer in jobs:
    commands = [f"{orvi} convert a.ppm {arguments} --threads {n}" for n in (1, 2)]
    commands += [peer] if peer else []
    times = [[] for _ in commands]
    for _ in range(9):
        for command, record in zip(commands, times):
            start = time.perf_counter()
            subprocess.run(shlex.split(command), check=True, stdout=subprocess.DEVNULL)
            record.append(time.perf_counter() - start)
    one, two = (statistics.median(t) * 1000 for t in times[:2])
    vips = f"{statistics.median(times[2]) * 1000:.0f}" if peer else "-"
    print(f"| {title} | {one:.0f} | {two:.0f} | {one / two:.2f} x | {vips} |")
