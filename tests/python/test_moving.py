"""Pictures that move: IFF ANIM read frame by frame (against FFmpeg, and against frames
made here with each kind of delta), and written out as GIF and WebP that peers read back."""
import pathlib
import shutil
import struct
import subprocess

import numpy as np
import pytest
from PIL import Image

import anim_maker
from conftest import command

SHARED = pathlib.Path(__file__).resolve().parents[3] / "shared" / "corpus" / "ilbm"
CORPUS_ANIM = SHARED / "anim5-320x256-4plane-pydpainter.anim"


def frames_of(tmp_path, source):
    """Every frame orvi draws of an animation, through `convert FILE folder/ --to png`."""
    folder = tmp_path / "frames"
    command("convert", source, f"{folder}/", "--to", "png")
    return [np.asarray(Image.open(f).convert("RGB")) for f in sorted(folder.iterdir())]


def ffmpeg_runs(tmp_path, source):
    """FFmpeg's frames of a file (at 60 a second), as (frame, jiffies) of each run of equal ones."""
    if shutil.which("ffmpeg") is None:
        pytest.skip("ffmpeg is not installed")
    out = tmp_path / "ffmpeg"
    out.mkdir()
    subprocess.run(["ffmpeg", "-loglevel", "error", "-i", str(source), "-f", "image2",
                    str(out / "f%04d.png")], check=True)
    runs = []
    for f in sorted(out.iterdir()):
        pixels = np.asarray(Image.open(f).convert("RGB"))
        if runs and np.array_equal(runs[-1][0], pixels):
            runs[-1][1] += 1
        else:
            runs.append([pixels, 1])
    return runs


def need_corpus():
    if not CORPUS_ANIM.exists():
        pytest.skip(f"{CORPUS_ANIM} is absent (../shared is not beside the project)")


def test_every_frame_of_the_corpus_animation_is_ffmpegs(tmp_path):
    need_corpus()
    ours = frames_of(tmp_path, CORPUS_ANIM)
    runs = ffmpeg_runs(tmp_path, CORPUS_ANIM)
    assert len(ours) == len(runs) == 14
    for number, (mine, (theirs, _)) in enumerate(zip(ours, runs), 1):
        assert np.array_equal(mine, theirs), f"frame {number}"
    # FFmpeg shows its first frame longer; every other lasts the ANHD's 4 jiffies.
    assert [length for _, length in runs[1:]] == [4] * 13


def test_info_says_frames_time_and_operation_and_json_lists_the_times(tmp_path):
    need_corpus()
    line = command("info", CORPUS_ANIM).stdout
    assert ": IFF ANIM, 320 x 256, 14 frames, 0.93 s, operation 5, 4 bits per pixel" in line
    assert line.count("\n") == 1
    import json
    facts = json.loads(command("info", "--json", CORPUS_ANIM).stdout)
    assert facts["frame_jiffies"] == [4] * 14 and facts["frames"] == 14


CASES = [  # operation, long data, XOR, width
    (5, False, False, 36),
    (5, False, True, 37),
    (7, False, False, 36),
    (7, True, False, 36),  # a row of 6 bytes: its last long column is half outside
    (7, True, True, 64),
    (8, False, False, 50),
    (8, True, False, 36),
    (8, False, True, 17),
]


@pytest.mark.parametrize("operation,long_data,xor,width", CASES)
def test_made_deltas_draw_their_frames(tmp_path, operation, long_data, xor, width):
    rng = np.random.default_rng(operation * 100 + width)
    depth, height = 3, 9
    frames = [rng.integers(0, 8, (height, width), dtype=np.uint8)]
    for k in range(1, 5):
        frame = frames[-1].copy()
        frame[rng.integers(0, height):, rng.integers(0, width):] = k  # a block changes
        frame[:, : k * 3] = 7 - k  # and the columns on the left take one value
        frames.append(frame)
    palettes = [list(rng.integers(0, 256, 24)), None, None, list(rng.integers(0, 256, 24)), None]
    path = tmp_path / "made.anim"
    path.write_bytes(anim_maker.anim(frames, palettes, depth, operation, long_data, xor))
    expected = anim_maker.colours(frames, palettes)
    ours = frames_of(tmp_path, path)
    assert len(ours) == len(expected)
    for number, (mine, wanted) in enumerate(zip(ours, expected), 1):
        assert np.array_equal(mine, wanted), f"frame {number}"


# FFmpeg agrees on rows of 4n + 2 bytes in operation 7's long columns, but not in
# operation 8's: those it is asked about only on rows of whole longs.
@pytest.mark.parametrize("operation,long_data,width", [
    (5, False, 48), (7, False, 48), (7, True, 48), (8, False, 48), (8, True, 64)])
def test_ffmpeg_reads_the_made_files_as_we_do(tmp_path, operation, long_data, width):
    rng = np.random.default_rng(7)
    frames = [rng.integers(0, 8, (8, width), dtype=np.uint8) for _ in range(4)]
    palettes = [list(rng.integers(0, 256, 24))] + [None] * 3
    path = tmp_path / "made.anim"
    path.write_bytes(anim_maker.anim(frames, palettes, 3, operation, long_data))
    runs = ffmpeg_runs(tmp_path, path)
    expected = anim_maker.colours(frames, palettes)
    assert len(runs) == len(expected)
    assert all(np.array_equal(r, e) for (r, _), e in zip(runs, expected))
    assert all(np.array_equal(o, e) for o, e in zip(frames_of(tmp_path, path), expected))


def test_a_cut_delta_ends_the_animation_at_the_last_good_frame(tmp_path):
    need_corpus()
    cut = tmp_path / "cut.anim"
    cut.write_bytes(CORPUS_ANIM.read_bytes()[:9000])
    run = command("convert", cut, tmp_path / "cut.gif")
    assert "the animation stops at frame 4" in run.stderr
    assert Image.open(tmp_path / "cut.gif").n_frames == 4
    strict = command("convert", "--strict", cut, tmp_path / "strict.gif", check=False)
    assert strict.returncode == 1 and not (tmp_path / "strict.gif").exists()
    assert "frame 5 of 5 cannot be drawn" in strict.stderr


def test_an_unknown_operation_is_refused_by_its_number(tmp_path):
    frames = [np.zeros((4, 16), np.uint8), np.ones((4, 16), np.uint8)]
    data = bytearray(anim_maker.anim(frames, [[0] * 6, None], 1, 5))
    data[data.rindex(b"ANHD") + 8] = 3  # the second frame's operation
    path = tmp_path / "op3.anim"
    path.write_bytes(bytes(data))
    run = command("convert", "--page", 2, path, tmp_path / "x.png", check=False)
    assert run.returncode == 1 and "operation 3" in run.stderr


@pytest.mark.parametrize("extension", ["gif", "webp"])
def test_animations_out_are_read_back_by_pillow_frame_by_frame(tmp_path, extension):
    need_corpus()
    ours = frames_of(tmp_path, CORPUS_ANIM)
    out = tmp_path / f"out.{extension}"
    command("convert", CORPUS_ANIM, out)
    shown = Image.open(out)
    assert shown.n_frames == 14 and shown.info.get("loop") == 0
    durations = []
    for number in range(14):
        shown.seek(number)
        shown.load()
        durations.append(shown.info["duration"])
        assert np.array_equal(np.asarray(shown.convert("RGB")), ours[number]), number
    # 14 frames of 4/60 s: 933 ms together, each rounded so that the total stays right.
    assert sum(durations) == (930 if extension == "gif" else 933)
    assert set(durations) <= ({60, 70} if extension == "gif" else {66, 67})
    if extension == "webp" and shutil.which("webpmux"):
        # libwebp's own tool reads the same frames, times and loop.
        told = subprocess.run(["webpmux", "-info", str(out)], capture_output=True, text=True,
                              check=True).stdout
        assert "Number of frames: 14" in told and "Loop Count : 0" in told
        times = [int(line.split()[6]) for line in told.splitlines()
                 if line.strip()[:1].isdigit() and ":" in line.split()[0]]
        assert times == durations


# ---- A still's colour cycling written as an animation (--cycle).

def turned(palette, ranges, seconds):
    """The palette (n x 3) `seconds` after the start: each (low, high, rate, reverse) range
    moved by its steps, forward taking each colour to the next higher register."""
    out = palette.copy()
    for low, high, rate, reverse in ranges:
        count = high - low + 1
        steps = int(seconds * rate * 60 / 16384 + 1e-9) % count
        part = palette[low:high + 1]
        out[low:high + 1] = np.roll(part, -steps if reverse else steps, axis=0)
    return out


def read_frames(path):
    shown = Image.open(path)
    frames, durations = [], []
    for number in range(shown.n_frames):
        shown.seek(number)
        shown.load()
        frames.append(np.asarray(shown.convert("RGB")))
        durations.append(shown.info["duration"])
    return frames, durations


def ranges_of(data):
    """The live CRNG ranges of an ILBM file, read here from its chunks."""
    found, at = [], data.find(b"CRNG")
    while at >= 0:
        _, rate, flags, low, high = struct.unpack(">hhhBB", data[at + 8:at + 16])
        if flags & 1 and rate and low < high:
            found.append((low, high, rate, bool(flags & 2)))
        at = data.find(b"CRNG", at + 1)
    return found


@pytest.mark.parametrize("extension", ["gif", "webp"])
def test_a_cycling_still_turns_step_by_step_until_it_is_back(tmp_path, extension):
    # Registers 1-4 forward at 30 steps a second, 5-7 reverse at 60: back after 0.4 s.
    indices = (np.arange(16 * 5).reshape(5, 16) % 8).astype(np.uint8)
    palette = np.array([[i * 30, 255 - i * 30, (i * 70) % 256] for i in range(8)], np.uint8)
    ranges = [(1, 4, 8192, False), (5, 7, 16384, True)]
    path = tmp_path / "cycling.iff"
    path.write_bytes(anim_maker.still(indices, palette.tobytes(), 3,
                                      b"".join(anim_maker.crng(*r) for r in ranges)))
    out = tmp_path / f"out.{extension}"
    command("convert", path, out, "--cycle", 5)
    frames, durations = read_frames(out)
    assert len(frames) == 24 and sum(durations) == 400
    for step, frame in enumerate(frames):
        assert np.array_equal(frame, turned(palette, ranges, step / 60)[indices]), step
    # Shorter than a whole turn: it ends at the time given.
    command("convert", path, out, "--cycle", 0.25)
    frames, durations = read_frames(out)
    assert len(frames) == 15 and sum(durations) == 250


def test_the_corpus_sky_cycles_each_range_its_own_way(tmp_path):
    source = SHARED / "5plane-320x256-6crng-reverse-pydpainter.iff"
    if not source.exists():
        pytest.skip(f"{source} is absent (../shared is not beside the project)")
    data = source.read_bytes()
    ranges = ranges_of(data)
    assert len(ranges) == 6 and sum(r[3] for r in ranges) == 1
    cmap = data.find(b"CMAP")
    palette = np.frombuffer(data[cmap + 8:cmap + 8 + 96], np.uint8).reshape(32, 3)
    out = tmp_path / "sky.gif"
    command("convert", source, out, "--cycle", 60)
    shown = Image.open(out)
    indices = np.asarray(shown)  # the first frame: the registers as the file has them
    frames, durations = read_frames(out)
    # 18.75 and 9.375 steps a second over 8, 5, 4 and 3 registers: back after 6.4 s.
    assert len(frames) == 120 and sum(durations) == 6400
    for step, frame in enumerate(frames):
        assert np.array_equal(frame, turned(palette, ranges, step / 18.75)[indices]), step


def test_cycle_needs_an_animation_to_write(tmp_path):
    frame = np.zeros((2, 16), np.uint8)
    path = tmp_path / "still.iff"
    path.write_bytes(anim_maker.still(frame, bytes(6), 1))
    run = command("convert", path, tmp_path / "x.png", "--cycle", 2, check=False)
    assert run.returncode == 1 and "not a GIF or WebP" in run.stderr
    run = command("convert", path, tmp_path / "x.gif", "--cycle", 2, check=False)
    assert run.returncode == 0 and "no colour range" in run.stderr
    assert Image.open(tmp_path / "x.gif").info["duration"] == 2000
