#!/usr/bin/python3
"""Whole-job figures for the Python package, each the median of several runs:

1. orvi.load of an 8000 x 6000 ILBM (24 planes, ByteRun1) against `orvi info` of the same
   file (the command's load, with its details);
2. Pillow opening and decoding an 8000 x 6000 PCX (8 bits with a palette, and 24 bits)
   with its own reader and with Orvi's (orvi.pillow.register(replace=True));
3. orvi.dask.convert of 200 ILBM files of 320 x 200 to PNG on a LocalCluster of one
   worker process and of two, interleaved, with orvi.dask.SETTINGS and with Dask's
   defaults.

Usage: PYTHONPATH=build/python bench/compare_python.py FOLDER   (after the release build)
"""
import os
import pathlib
import statistics
import subprocess
import sys
import time

import numpy as np

import orvi
import orvi.dask
import orvi.pillow

ROOT = pathlib.Path(__file__).resolve().parent.parent
ORVI = os.environ.get("ORVI_BINARY", str(ROOT / "build" / "orvi"))


def median_seconds(job, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        job()
        times.append(time.perf_counter() - start)
    return statistics.median(times), min(times), max(times)


def show(label, figures):
    median, low, high = figures
    print(f"| {label} | {median * 1000:.0f} | {low * 1000:.0f} | {high * 1000:.0f} |")


def main():
    folder = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "/tmp/orvi-python-bench")
    folder.mkdir(parents=True, exist_ok=True)
    rng = np.random.default_rng(7)
    y, x = np.mgrid[0:6000, 0:8000]
    big = np.stack([(x >> 5) % 256, (y >> 5) % 256, ((x + y) >> 6) % 256], -1).astype(np.uint8)
    big[::7, ::5] = rng.integers(0, 256, big[::7, ::5].shape, dtype=np.uint8)
    iff, pcx8, pcx24 = folder / "big.iff", folder / "big-8.pcx", folder / "big-24.pcx"
    orvi.save(big, iff)
    orvi.save(big, pcx24)
    orvi.save(big, pcx8, depth=8, reduce=True)

    print("| job | median ms | min ms | max ms |")
    print("|---|---:|---:|---:|")
    show("orvi.load, 8000 x 6000 ILBM", median_seconds(lambda: orvi.load(iff), 7))
    show("`orvi info` of it (whole process)",
         median_seconds(lambda: subprocess.run([ORVI, "info", iff], check=True,
                                               capture_output=True), 7))

    from PIL import Image, PcxImagePlugin
    Image.MAX_IMAGE_PIXELS = None
    readers = {"Pillow's own PCX reader": lambda: Image.register_open(
                   "PCX", PcxImagePlugin.PcxImageFile, PcxImagePlugin._accept),
               "Orvi's PCX reader in Pillow": lambda: orvi.pillow.register(replace=True)}
    for path in (pcx8, pcx24):
        times = {label: [] for label in readers}
        for _ in range(9):  # in pairs, so that a slow spell of the machine hits both
            for label, use in readers.items():
                use()
                start = time.perf_counter()
                with Image.open(path) as image:
                    image.load()
                times[label].append(time.perf_counter() - start)
        for label in readers:
            show(f"{label}, {path.name} (mode {image.mode})",
                 (statistics.median(times[label]), min(times[label]), max(times[label])))

    import distributed
    small = folder / "small"
    small.mkdir(exist_ok=True)
    sources = []
    card = np.stack(np.mgrid[0:200, 0:320], -1)
    for i in range(200):
        pixels = np.dstack([card[..., 1] * 8 % 32 * 8, card[..., 0] * (i % 7 + 1) % 32 * 8,
                            np.full((200, 320), i % 32 * 8)]).astype(np.uint8)
        path = small / f"picture-{i:03}.iff"
        orvi.save(pixels, path, depth=5, reduce=True)
        sources.append(str(path))
    import dask
    speed_ups = []
    for label, settings in (("orvi.dask.SETTINGS", orvi.dask.SETTINGS), ("Dask's defaults", {})):
        clusters = {}
        with dask.config.set(settings):
            for workers in (1, 2):
                cluster = distributed.LocalCluster(n_workers=workers, threads_per_worker=1,
                                                   processes=True, dashboard_address=None,
                                                   silence_logs=40)
                clusters[workers] = (cluster, distributed.Client(cluster))
        figures = {1: [], 2: []}
        for _ in range(5):
            for workers, (_, client) in clusters.items():
                start = time.perf_counter()
                results = orvi.dask.convert(sources, to="png",
                                            out_dir=str(folder / f"png-{workers}"), client=client)
                figures[workers].append(time.perf_counter() - start)
                assert all(r.status == "converted" for r in results)
        for workers in (1, 2):
            times = figures[workers]
            show(f"orvi.dask.convert, 200 ILBM 320 x 200 to PNG, {workers} worker(s), {label}",
                 (statistics.median(times), min(times), max(times)))
        speed_ups.append(f"{statistics.median(figures[1]) / statistics.median(figures[2]):.2f} x "
                         f"with {label}")
        for cluster, client in clusters.values():
            client.close()
            cluster.close()
    print("\nspeed-up with two workers: " + ", ".join(speed_ups))


if __name__ == "__main__":
    main()
