"""orvi for Python: loading every kind of file as the command does, saving through every
writer, the operations against the command's, bytes and file objects, errors, memory that
lives as long as its arrays, and threads."""
import concurrent.futures
import gc
import io
import os

import numpy as np
import pytest

import orvi
from conftest import CORPUS, colourful, command, read_ppm


def corpus_files():
    return sorted(p for p in CORPUS.glob("*/*") if p.is_file() and p.name != "MANIFEST.md")


def test_every_corpus_file_loads_as_the_command_converts_it(tmp_path):
    compared = 0
    for path in corpus_files():
        out = tmp_path / "out.ppm"
        converted = command("convert", path, out, "--max-pixels", "0", check=False)
        try:
            image = orvi.load(path)
        except orvi.Error as error:
            assert converted.returncode != 0, f"{path.name}: the command read it, orvi.load: {error}"
            assert error.sentence.split(": ", 1)[1] in converted.stderr, path.name
            continue
        assert converted.returncode == 0, f"{path.name}: {converted.stderr}"
        assert image.pixels.dtype == np.uint8
        assert image.pixels.shape == (image.height, image.width, 3)
        np.testing.assert_array_equal(image.pixels, read_ppm(out), err_msg=path.name)
        compared += 1
    assert compared >= 100


@pytest.mark.parametrize("extension, depth", [("ppm", None), ("pcx", None), ("pcx", 8),
                                              ("iff", None), ("iff", 8), ("png", None),
                                              ("png", 8)])
def test_every_writer_round_trips(tmp_path, extension, depth):
    pixels = colourful()
    path = tmp_path / f"out.{extension}"
    orvi.save(pixels, path, depth=depth)
    np.testing.assert_array_equal(orvi.load(path).pixels, pixels)


def test_an_image_saves_as_it_is(tmp_path):
    image = orvi.load(CORPUS / "ilbm" / "ham8-131x131-byterun1.iff")
    orvi.save(image, tmp_path / "ham.png")
    np.testing.assert_array_equal(orvi.load(tmp_path / "ham.png").pixels, image.pixels)
    assert image.format == "ILBM" and image.details["display_mode"] == "HAM8"


OPERATIONS = [
    ("gamma", (1.4,), ["--gamma", "1.4"]),
    ("brightness", (-40,), ["--brightness", "-40"]),
    ("rgb", (10, -20, 30), ["--rgb", "10,-20,30"]),
    ("contrast", (50,), ["--contrast", "50"]),
    ("gray", (), ["--gray"]),
    ("negate", (), ["--negate"]),
    ("rotate", ("cw",), ["--rotate", "cw"]),
    ("rotate", ("ccw",), ["--rotate", "ccw"]),
    ("flip", ("h",), ["--flip", "h"]),
    ("flip", ("v",), ["--flip", "v"]),
    ("resize", (13, 4), ["--resize", "13x4"]),
    ("fill", (1, 2, 3), ["--fill", "1,2,3"]),
    ("convolve", ("sharpen",), ["--convolve", "sharpen"]),
    ("kernel", ([0, -1, 0, -1, 5, -1, 0, -1, 0],), ["--kernel", "0,-1,0,-1,5,-1,0,-1,0"]),
]


@pytest.mark.parametrize("name, args, options", OPERATIONS)
def test_each_operation_gives_what_the_command_gives(tmp_path, name, args, options):
    pixels = colourful()
    orvi.save(pixels, tmp_path / "in.ppm")
    out = tmp_path / ("out.pgm" if name == "gray" else "out.ppm")
    command("convert", tmp_path / "in.ppm", out, *options)
    result = getattr(orvi.ops, name)(pixels, *args)
    np.testing.assert_array_equal(result, read_ppm(out))
    np.testing.assert_array_equal(pixels, colourful(), err_msg="the input is left as it was")


def test_out_takes_the_result_in_place():
    pixels = colourful()
    result = orvi.ops.negate(pixels, out=pixels)
    assert result is pixels
    np.testing.assert_array_equal(pixels, 255 - colourful())
    with pytest.raises(ValueError):
        orvi.ops.rotate(colourful(), "cw", out=np.zeros((7, 9, 3), np.uint8))


def test_bytes_and_file_objects():
    data = (CORPUS / "pcx" / "8bit-32x32.pcx").read_bytes()
    from_bytes = orvi.load(data)
    from_file = orvi.load(io.BytesIO(data))
    np.testing.assert_array_equal(from_bytes.pixels, from_file.pixels)
    written = io.BytesIO()
    orvi.save(from_bytes.pixels, written, format="png")
    np.testing.assert_array_equal(orvi.load(written.getvalue()).pixels, from_bytes.pixels)
    with pytest.raises(ValueError):
        orvi.save(from_bytes.pixels, io.BytesIO())  # a file object needs format=


def test_errors_carry_their_code_and_sentence(tmp_path):
    cases = [
        (b"P6\n0 1\n255\n", orvi.BadFile, 1003, "the width 0 is outside 1..32767 (code 1003)"),
        (b"GIF89a" + bytes(20), orvi.Unsupported, 2002, "it is in no format orvi reads"),
        (b"FORM\0\0\0\x10" + b"8SVXVHDR" + bytes(8), orvi.Unsupported, 2002, "FORM of type 8SVX"),
    ]
    for data, kind, code, words in cases:
        with pytest.raises(kind) as raised:
            orvi.load(data)
        assert raised.value.code == code
        assert words in raised.value.sentence
        assert isinstance(raised.value, orvi.Error)
    with pytest.raises(orvi.AccessError) as missing:
        orvi.load(tmp_path / "missing.ppm")
    assert missing.value.sentence.startswith("cannot load '")
    with pytest.raises(orvi.UsageError):
        orvi.ops.convolve(colourful(), "nothing")
    with pytest.raises(ValueError):
        orvi.ops.rotate(colourful(), "sideways")


def test_limits_refuse_pictures_that_do_not_fit():
    data = b"P6\n100 100\n255\n" + bytes(30000)
    orvi.configure(max_pixels=9999)
    with pytest.raises(orvi.OutOfMemory) as pixels:
        orvi.load(data)
    assert pixels.value.code == 13
    orvi.configure(max_pixels=orvi.DEFAULT_MAX_PIXELS, memory_limit=20000)
    with pytest.raises(orvi.OutOfMemory) as memory:
        orvi.load(data)
    assert memory.value.code == 7


def test_threads_change_the_speed_of_operations_never_their_result():
    rng = np.random.default_rng(4)
    picture = rng.integers(0, 256, (1021, 1531, 3), dtype=np.uint8)
    results = []
    for threads in (1, 3):
        orvi.configure(threads=threads)
        results.append([orvi.ops.rotate(picture, "cw"), orvi.ops.convolve(picture, "Sharpen")])
    orvi.configure(threads=0)
    for one, many in zip(*results):
        np.testing.assert_array_equal(one, many)


def test_an_array_keeps_its_memory_alive():
    image = orvi.load(CORPUS / "ilbm" / "24plane-131x131-byterun1.iff")
    pixels = image.pixels
    copy = pixels.copy()
    assert orvi.memory()["blocks"] == 1
    assert not pixels.flags.owndata, "the array shares the image's memory"
    del image
    gc.collect()
    assert orvi.memory()["blocks"] == 1
    np.testing.assert_array_equal(pixels, copy)
    del pixels
    gc.collect()
    assert orvi.memory()["blocks"] == 0


def test_threads_load_different_formats_at_once():
    files = [CORPUS / "ilbm" / "ham8-131x131-byterun1.iff", CORPUS / "pcx" / "8bit-32x32.pcx",
             CORPUS / "pnm" / "p6-16bit-8x8.ppm", CORPUS / "xpm" / "cpp2-128x128-256colours.xpm",
             CORPUS / "ilbm" / "24plane-131x131-byterun1.iff"]
    expected = {path: orvi.load(path).pixels.copy() for path in files}
    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        loads = [pool.submit(lambda p: (p, orvi.load(p).pixels.copy()), path)
                 for path in files * 8]
        for future in loads:
            path, pixels = future.result()
            np.testing.assert_array_equal(pixels, expected[path], err_msg=str(path))


def test_formats_and_filters(tmp_path):
    names = [f["name"] for f in orvi.formats()]
    assert names == ["PNM", "PCX", "ILBM", "XPM", "PNG", "PAM", "PBM", "DCX", "IFF-PBM", "GIF", "WebP"]
    chunky = next(f for f in orvi.formats() if f["name"] == "IFF-PBM")
    assert chunky["extensions"] == [] and not chunky["true_colour"]
    picture = np.zeros((3, 5, 3), np.uint8)
    picture[1, 2] = (200, 10, 10)
    path = tmp_path / "dp.lbm"
    orvi.save(picture, path, format="iff-pbm")
    assert path.read_bytes()[8:12] == b"PBM "
    np.testing.assert_array_equal(orvi.load(path).pixels, picture)
    assert [f["name"] for f in orvi.filters()][:2] == ["Custom", "Blur 3"]


def test_a_cut_file_says_what_it_left_out():
    image = orvi.load(b"P6\n2 2\n255\n" + bytes(6))
    assert not image.complete
    assert image.gaps == ["the image data ends at row 1 of 2; the rest is black"]


def test_page_picks_a_picture_of_a_file_holding_several():
    path = CORPUS / "ilbm" / "cat-two-ilbm-forms.iff"
    if not path.exists():
        pytest.skip("the corpus copy has no cat-two-ilbm-forms.iff")
    first, second = orvi.load(path), orvi.load(path, page=2)
    assert first.details["pages"] == 2 and second.details["page"] == 2
    assert not np.array_equal(first.pixels, second.pixels)
    with pytest.raises(orvi.UsageError) as beyond:
        orvi.load(path, page=3)
    assert beyond.value.sentence.endswith("it holds 2 pictures, numbered 1 to 2 (page=N picks one)")


def test_bytes_are_taken_in_their_own_order_whatever_the_view():
    data = b"P6\n2 1\n255\n" + bytes([1, 2, 3, 4, 5, 6])
    pixels = orvi.load(data).pixels
    # A view with strides is the bytes it shows, not the memory under it.
    np.testing.assert_array_equal(orvi.load(memoryview(data[::-1])[::-1]).pixels, pixels)
    spread = bytes(b for c in data for b in (c, 0))
    np.testing.assert_array_equal(orvi.load(memoryview(spread)[::2]).pixels, pixels)
    with pytest.raises(TypeError):
        orvi.load(12345)


@pytest.mark.parametrize("pixels, kind, words", [
    (np.full((2, 2, 3), 0.9), TypeError, "uint8, not float64"),
    (np.full((2, 2, 3), 300.0), TypeError, "uint8, not float64"),
    (np.full((2, 2, 3), -1, np.int16), TypeError, "uint8, not int16"),
    ([[1, 2], [3, 4]], TypeError, "numpy array of uint8, not list"),
    (np.zeros((2, 2, 5), np.uint8), ValueError, "height x width x 3"),
    (np.zeros((4,), np.uint8), ValueError, "height x width x 3"),
    (np.zeros((0, 3, 3), np.uint8), ValueError, "height x width x 3"),
])
def test_arrays_of_another_kind_are_refused_never_cast(tmp_path, pixels, kind, words):
    with pytest.raises(kind) as save:
        orvi.save(pixels, tmp_path / "x.ppm")
    assert words in str(save.value)
    with pytest.raises(kind):
        orvi.ops.negate(pixels)
    assert not (tmp_path / "x.ppm").exists()
    # A uint8 array that is not contiguous is taken as it reads.
    wide = colourful(4, 8)
    np.testing.assert_array_equal(orvi.ops.negate(wide[:, ::2]), 255 - wide[:, ::2])


def test_options_out_of_range_are_value_errors(tmp_path):
    for depth in (-1, 9, 23):
        with pytest.raises(ValueError, match="depth takes 1 to 8, or 24"):
            orvi.save(colourful(), tmp_path / "x.pcx", depth=depth)
    with pytest.raises(TypeError):
        orvi.save(colourful(), tmp_path / "x.pcx", depth=4.0)
    with pytest.raises(ValueError, match="threads takes"):
        orvi.configure(threads=-1)
    with pytest.raises(ValueError):  # orvi.UsageError is a ValueError too
        orvi.ops.brightness(colourful(), 900)


def test_sentences_name_pythons_keywords_not_the_commands_options(tmp_path):
    cases = [
        (lambda: orvi.save(colourful(), tmp_path / "x.pcx", depth=1, exact=True),
         "(without exact=True they are reduced"),
        (lambda: orvi.save(colourful(), tmp_path / "x.jpg"), "(format= chooses one)"),
    ]
    for call, words in cases:
        with pytest.raises(orvi.Error) as raised:
            call()
        assert words in raised.value.sentence
        assert "--" not in raised.value.sentence, raised.value.sentence
    orvi.configure(max_pixels=10)
    with pytest.raises(orvi.OutOfMemory) as limited:
        orvi.load(b"P6\n100 100\n255\n" + bytes(30000))
    assert limited.value.sentence.endswith("(orvi.configure(max_pixels=N) sets the limit, 0 for none)")
    assert isinstance(limited.value, MemoryError)
    (tmp_path / "kept.ppm").write_bytes(b"P6\n1 1\n255\nabc")
    (tmp_path / "kept.ppm").chmod(0o444)
    if os.access(tmp_path / "kept.ppm", os.W_OK):
        pytest.skip("the tests run as a user who may write any file")
    with pytest.raises(orvi.Error) as protected:
        orvi.save(colourful(), tmp_path / "kept.ppm")
    assert protected.value.sentence.endswith("(force=True replaces it)")
    orvi.save(colourful(), tmp_path / "kept.ppm", force=True)
