#!/usr/bin/python3
"""Run-to-run spread of whole-process jobs on 8000 x 6000 pictures: each timed run of a job
follows a large job of another kind (a 5 x 5 convolution written as PNG), as a machine
that has just done other work would run it. Twenty runs a job; the median, the 90th
percentile and their ratio.

Usage: bench/steady.py FOLDER [ORVI]   (FOLDER on the disk the pictures live on)
"""
import pathlib
import statistics
import subprocess
import sys
import time

folder = pathlib.Path(sys.argv[1])
orvi = sys.argv[2] if len(sys.argv) > 2 else str(pathlib.Path(__file__).parent.parent / "build/orvi")
folder.mkdir(parents=True, exist_ok=True)
big = folder / "big.ppm"
if not big.exists():
    import numpy as np
    y, x = np.mgrid[0:6000, 0:8000]
    pixels = np.stack([(x * 7) % 256, (y * 5) % 256, ((x ^ y) * 3) % 256], -1).astype(np.uint8)
    pixels[::5, ::3] = np.random.default_rng(1).integers(0, 256, pixels[::5, ::3].shape)
    big.write_bytes(b"P6\n8000 6000\n255\n" + pixels.tobytes())
pcx = folder / "big.pcx"
if not pcx.exists():
    subprocess.run([orvi, "convert", str(big), str(pcx), "--quiet"], check=True)

def run(*args):
    subprocess.run([orvi, "convert", *map(str, args), "--quiet"], check=True)

jobs = {
    "copy (P6 to P6)": lambda: run(big, folder / "copy.ppm"),
    "rotate cw (P6 to P6)": lambda: run(big, folder / "turned.ppm", "--rotate", "cw"),
    "PCX load (to P6)": lambda: run(pcx, folder / "from-pcx.ppm"),
}
other = lambda: run(big, folder / "other.png", "--convolve", "Gaussian")
times = {name: [] for name in jobs}
for _ in range(20):
    for name, job in jobs.items():
        other()
        start = time.perf_counter()
        job()
        times[name].append(time.perf_counter() - start)
print("| job | median s | 90th percentile s | ratio | min s | max s |")
print("|---|---:|---:|---:|---:|---:|")
for name, t in times.items():
    t = sorted(t)
    median, p90 = statistics.median(t), t[17]  # the 18th of 20
    print(f"| {name} | {median:.3f} | {p90:.3f} | {p90 / median:.2f} | {t[0]:.3f} | {t[-1]:.3f} |")
