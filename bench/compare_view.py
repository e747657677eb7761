#!/usr/bin/python3
"""Whole-process figures for `orvi view`'s window on an X server of its own (Xvfb), from
the frame times the window writes with --timings, for each renderer asked for:

1. stepping through 60 ILBM files of 320 x 200 (5 planes) with Space, each next picture
   loaded ahead: from the key to the next picture on screen;
2. an 8000 x 6000 ILBM (24 planes, ByteRun1): from starting the command to the picture on
   screen, against `orvi info` of the same file (the command's load, whole process);
3. on that picture, frames of zooming (+, -, f, 1), panning with the arrows and dragging
   with the mouse: from the input to the frame on screen.

Usage: PYTHONPATH=build/python bench/compare_view.py FOLDER [RENDERER...]
(after the release build; renderers as SDL names them: software, opengl, opengles2;
default: software and SDL's own choice). Needs Xvfb and xdotool.
"""
import os
import pathlib
import statistics
import subprocess
import sys
import time

import numpy as np

import orvi

ROOT = pathlib.Path(__file__).resolve().parent.parent
ORVI = os.environ.get("ORVI_BINARY", str(ROOT / "build" / "orvi"))


def make_pictures(folder):
    small = folder / "small"
    small.mkdir(parents=True, exist_ok=True)
    rng = np.random.default_rng(3)
    y, x = np.mgrid[0:200, 0:320]
    for number in range(60):
        path = small / f"pic{number + 1}.iff"
        if not path.exists():
            picture = np.stack([(x + number * 4) % 256, (y * 2) % 256, (x + y) % 256], -1)
            picture = (picture // 32 * 32).astype(np.uint8)
            picture[::9, ::7] = rng.integers(0, 256, 3, dtype=np.uint8)
            orvi.save(picture, path, depth=5, reduce=True)
    big = folder / "big.iff"
    if not big.exists():
        y, x = np.mgrid[0:6000, 0:8000]
        picture = np.stack([(x >> 5) % 256, (y >> 5) % 256, ((x + y) >> 6) % 256], -1)
        picture = picture.astype(np.uint8)
        picture[::7, ::5] = rng.integers(0, 256, picture[::7, ::5].shape, dtype=np.uint8)
        orvi.save(picture, big)
    return small, big


def start_display():
    read, write = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24",
                               "-nolisten", "tcp", "-noreset"], pass_fds=[write], stderr=subprocess.DEVNULL)
    os.close(write)
    number = b""
    while not number.endswith(b"\n"):
        number += os.read(read, 1)
    os.environ["DISPLAY"] = ":" + number.decode().strip()
    return server


def log_lines(path):
    try:
        return path.read_text().splitlines()
    except FileNotFoundError:
        return []


def wait_for(condition, seconds=60.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.005)
    raise SystemExit("timed out waiting for the viewer")


class Viewer:
    def __init__(self, log, renderer, *arguments):
        env = dict(os.environ)
        if renderer:
            env["SDL_RENDER_DRIVER"] = renderer
        self.log = log
        log.unlink(missing_ok=True)
        self.started = time.time()
        self.process = subprocess.Popen([ORVI, "view", "--timings", str(log), *map(str, arguments)],
                                        env=env)
        wait_for(lambda: self.shown() >= 1)
        window = subprocess.run(["xdotool", "search", "--pid", str(self.process.pid)],
                                capture_output=True, text=True).stdout.split()
        subprocess.run(["xdotool", "mousemove", "--window", window[0], "500", "300"], check=True)

    def lines(self, kind):
        return [line.split() for line in log_lines(self.log) if line.startswith(kind + " ")]

    def shown(self):
        return len(self.lines("shown"))

    def renderer(self):
        return " ".join(self.lines("renderer")[0][1:])

    def frames(self, since=0, cause=None):
        return [float(line[1]) for line in self.lines("frame")[since:]
                if cause is None or " ".join(line[2:]) == cause]

    def key(self, name, settle=0.05):
        before = len(self.lines("frame"))
        subprocess.run(["xdotool", "key", name], check=True)
        wait_for(lambda: len(self.lines("frame")) > before)
        time.sleep(settle)

    def close(self):
        self.process.terminate()
        self.process.wait()


def figures(values):
    values = sorted(values)
    p95 = values[min(len(values) - 1, int(len(values) * 0.95))]
    return f"{statistics.median(values):.2f} | {p95:.2f} | {values[-1]:.2f} | {len(values)}"


def main():
    folder = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "/tmp/orvi-view-bench")
    renderers = sys.argv[2:] or ["software", ""]
    small, big = make_pictures(folder)
    server = start_display()
    log = folder / "timings.txt"
    try:
        info = []

        def info_run():
            start = time.perf_counter()
            subprocess.run([ORVI, "info", str(big)], check=True, capture_output=True)
            info.append(time.perf_counter() - start)

        print("| renderer | job | median ms | p95 ms | max ms | samples |")
        print("|---|---|---:|---:|---:|---:|")
        for renderer in renderers:
            viewer = Viewer(log, renderer, small)
            name = viewer.renderer()
            for _ in range(59):
                count = viewer.shown()
                viewer.key("space", settle=0.0)
                wait_for(lambda: viewer.shown() > count)
                time.sleep(0.1)  # the worker loads the next one meanwhile
            print(f"| {name} | next 320 x 200 ILBM, loaded ahead | {figures(viewer.frames(cause='key Space'))} |")
            viewer.close()

            first = []
            info.clear()
            for _ in range(7):  # interleaved with the command's load of the same file
                info_run()
                viewer = Viewer(log, renderer, big)
                first.append(float(viewer.lines("shown")[0][1]) - viewer.started)
                if len(first) < 7:
                    viewer.close()
            print(f"| {name} | 8000 x 6000 ILBM first shown (whole process) | "
                  f"{figures([seconds * 1000 for seconds in first])} |")
            print(f"| {name} | `orvi info` of it (whole process), interleaved | "
                  f"{figures([seconds * 1000 for seconds in info])} |")
            ratio = statistics.median(first) / statistics.median(info)
            print(f"| {name} | first shown against `orvi info`, medians | {ratio:.2f} x | | | |")

            mark = len(viewer.frames())
            for _ in range(6):
                for key in ["plus", "plus", "minus", "f", "1", "minus"]:
                    viewer.key(key)
            zoom = viewer.frames(mark)
            viewer.key("1")
            mark = len(viewer.frames())
            for _ in range(15):
                for key in ["Right", "Right", "Down", "Left", "Left", "Up"]:
                    viewer.key(key)
            pan = viewer.frames(mark)
            subprocess.run(["xdotool", "mousedown", "1"], check=True)
            for step in range(120):
                dx = 3 if (step // 30) % 2 == 0 else -3
                subprocess.run(["xdotool", "mousemove_relative", "--", str(dx), "2"], check=True)
                time.sleep(0.01)
            subprocess.run(["xdotool", "mouseup", "1"], check=True)
            time.sleep(0.3)
            print(f"| {name} | zoom frames, 8000 x 6000 | {figures(zoom)} |")
            print(f"| {name} | arrow pan frames, 8000 x 6000 | {figures(pan)} |")
            print(f"| {name} | drag frames, 8000 x 6000 | {figures(viewer.frames(cause='drag'))} |")
            viewer.close()
    finally:
        server.terminate()
        server.wait()


if __name__ == "__main__":
    main()
