#!/usr/bin/python3
"""Loads of the family's other layouts against a raw PPM of the same 8000 x 6000 picture,
in the library (orvi.load), taking turns, the median of seven each (the files are made
once and kept in FOLDER): PAM (RGB), and FORM
PBM (chunky 8-bit, plain and ByteRun1) against a P6 of the same colours.

Usage: PYTHONPATH=build/python bench/compare_family.py FOLDER   (after the release build)
"""
import pathlib
import statistics
import struct
import sys
import time

import numpy as np

import orvi


def chunk(kind, data):
    return kind + struct.pack(">I", len(data)) + data + (b"\0" if len(data) % 2 else b"")


def form_pbm(indices, palette, packed):
    height, width = indices.shape
    rows = []
    for row in indices:
        row = row.tobytes() + (b"\0" if width % 2 else b"")
        if packed:  # ByteRun1: literal runs of at most 128 bytes, runs of equal bytes
            out, i = bytearray(), 0
            while i < len(row):
                j = i
                while j + 1 < len(row) and row[j + 1] == row[i] and j - i < 127:
                    j += 1
                if j > i:
                    out += bytes([257 - (j - i + 1), row[i]])
                    i = j + 1
                    continue
                j = i + 1
                while j < len(row) and j - i < 128 and (j + 1 >= len(row) or row[j + 1] != row[j]):
                    j += 1
                out += bytes([j - i - 1]) + row[i:j]
                i = j
            row = bytes(out)
        rows.append(row)
    bmhd = struct.pack(">HHhhBBBBHBBhh", width, height, 0, 0, 8, 0, 1 if packed else 0, 0, 0,
                       1, 1, width, height)
    body = chunk(b"BMHD", bmhd) + chunk(b"CMAP", palette.tobytes()) + chunk(b"BODY", b"".join(rows))
    return chunk(b"FORM", b"PBM " + body)


def main():
    folder = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "/tmp/orvi-family-bench")
    folder.mkdir(parents=True, exist_ok=True)
    y, x = np.mgrid[0:6000, 0:8000]
    indices = (((x >> 4) + (y >> 4)) % 256).astype(np.uint8)
    indices[::3, ::7] = np.random.default_rng(3).integers(0, 256, indices[::3, ::7].shape)
    palette = np.random.default_rng(5).integers(0, 256, (256, 3)).astype(np.uint8)
    pixels = palette[indices]
    files = {"PPM (P6)": folder / "a.ppm", "PAM (RGB)": folder / "a.pam",
             "FORM PBM": folder / "a.lbm", "FORM PBM, ByteRun1": folder / "packed.lbm"}
    if not all(path.exists() for path in files.values()):  # packing in Python takes minutes
        orvi.save(pixels, files["PPM (P6)"])
        orvi.save(pixels, files["PAM (RGB)"])
        files["FORM PBM"].write_bytes(form_pbm(indices, palette, False))
        files["FORM PBM, ByteRun1"].write_bytes(form_pbm(indices, palette, True))
    for path in files.values():
        assert np.array_equal(orvi.load(path, details=False).pixels, pixels), path
    times = {label: [] for label in files}
    for _ in range(7):
        for label, path in files.items():
            start = time.perf_counter()
            orvi.load(path, details=False)
            times[label].append(time.perf_counter() - start)
    base = statistics.median(times["PPM (P6)"])
    print("| orvi.load, 8000 x 6000 | median ms | min ms | against the P6 |")
    print("|---|---:|---:|---:|")
    for label, t in times.items():
        print(f"| {label} | {statistics.median(t) * 1000:.0f} | {min(t) * 1000:.0f} | "
              f"{statistics.median(t) / base:.2f} x |")


if __name__ == "__main__":
    main()
