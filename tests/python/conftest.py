"""Shared pieces of the Python tests: the command, the corpus copy, PPM reading, and a
library configured afresh for every test."""
import os
import pathlib
import subprocess

import numpy as np
import pytest

import orvi

ORVI = os.environ.get("ORVI_BINARY", "orvi")
CORPUS = pathlib.Path(os.environ.get("ORVI_CORPUS", "tests/data/corpus"))


def read_ppm(path):
    """The pixels of a raw P6 or P5 file as orvi writes it (one comment line)."""
    data = pathlib.Path(path).read_bytes()
    lines = data.split(b"\n", 4)
    width, height = (int(v) for v in lines[2].split())
    raster = np.frombuffer(lines[4], np.uint8)
    if lines[0] == b"P5":
        return raster.reshape(height, width)
    return raster.reshape(height, width, 3)


def command(*args, check=True):
    """Runs the orvi command; its completed process."""
    run = subprocess.run([ORVI, *map(str, args)], capture_output=True, text=True)
    if check and run.returncode != 0:
        raise AssertionError(f"orvi {' '.join(map(str, args))}: {run.stderr}")
    return run


def colourful(height=7, width=9):
    """A picture of many colours, height x width x 3."""
    y, x = np.mgrid[0:height, 0:width]
    return np.stack([(x * 29) % 256, (y * 37) % 256, (x * y * 11 + 5) % 256], -1).astype(np.uint8)


@pytest.fixture(autouse=True)
def fresh_library():
    """Every test starts with the default limits, and ends with the books balanced."""
    orvi.configure(max_pixels=orvi.DEFAULT_MAX_PIXELS, memory_limit=0)
    yield
    import gc
    gc.collect()
    assert orvi.memory()["blocks"] == 0, "a block outlived every image and array"
