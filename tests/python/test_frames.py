"""Frames from Python: orvi.frames yields an animation's frames with their times, and the
Pillow plug-in seeks through them as its GIF plug-in does."""
import pathlib

import numpy as np
import pytest
from PIL import Image

import orvi
import orvi.pillow  # noqa: F401 (registers the plug-in)

DATA = pathlib.Path(__file__).resolve().parents[1] / "data" / "viewer"


def colours(path):
    """The test files' frames are each one colour: entry k has red 32 k."""
    return [int(pixels[0, 0, 0]) // 32 for pixels, _ in orvi.frames(path)]


def test_frames_yields_every_frame_and_its_time_from_a_path_bytes_or_a_file():
    path = DATA / "plain.anim"
    with open(path, "rb") as opened:
        for source in (path, str(path), path.read_bytes(), opened):
            got = list(orvi.frames(source))
            assert [int(p[0, 0, 0]) // 32 for p, _ in got] == [0, 1, 2, 3, 4, 5]
            assert [round(s, 3) for _, s in got] == [0.1] * 6
    # The two closing frames that lead back are frames of the file like any other.
    assert colours(DATA / "loop.anim") == [0, 1, 2, 3, 0, 1]


def test_frames_of_a_still_is_the_still_and_a_cut_file_raises_after_the_good_frames():
    assert [s for _, s in orvi.frames(DATA / "cycling.iff")] == [0.0]
    got = []
    with pytest.raises(orvi.BadFile, match="cut short or damaged"):
        for pixels, _ in orvi.frames(DATA / "cut.anim"):
            got.append(int(pixels[0, 0, 0]) // 32)
    assert got == [0, 1]


def test_frames_share_the_frames_memory():
    pixels, _ = next(orvi.frames(DATA / "plain.anim"))
    assert not pixels.flags.owndata and pixels.base is not None


def test_pillow_seeks_through_the_frames_with_their_durations():
    with Image.open(DATA / "plain.anim") as image:
        assert image.n_frames == 6 and image.is_animated and image.tell() == 0
        seen = []
        for number in [0, 1, 2, 3, 4, 5, 2]:  # and back
            image.seek(number)
            assert image.tell() == number and image.mode == "P"
            assert image.info["duration"] == 100
            seen.append(np.asarray(image.convert("RGB"))[0, 0, 0] // 32)
        assert seen == [0, 1, 2, 3, 4, 5, 2]
        with pytest.raises(EOFError):
            image.seek(6)
    with Image.open(DATA / "cycling.iff") as still:
        assert still.n_frames == 1 and not still.is_animated and "duration" not in still.info
