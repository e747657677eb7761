"""What a picture is beyond its pixels, from Python: palettes and their indices without a
copy, transparency, the description, saving them back, and Pillow seeing them as its own
PNG and GIF plug-ins show them."""
import numpy as np
import pytest
from PIL import Image

import orvi
import orvi.pillow  # noqa: F401  (registers IFF with Pillow)

from conftest import CORPUS

ILBM = CORPUS / "ilbm"


def test_a_palette_picture_gives_its_palette_in_order_and_indices_in_place():
    image = orvi.load(ILBM / "3plane-320x256-dpps-crng-drng.iff")
    assert image.palette.shape == (8, 3)
    assert image.palette[:4].tolist() == [[0, 0, 0], [188, 159, 0], [46, 46, 46], [255, 235, 0]]
    indices = image.indices
    assert indices.shape == (256, 320) and indices.dtype == np.uint8
    assert not indices.flags.owndata, "the indices are the image's own, not a copy"
    np.testing.assert_array_equal(image.palette[indices], image.pixels)
    ranges = image.info["ranges"]
    assert [(r["low"], r["high"], r["reverse"]) for r in ranges] == [(20, 31, True), (2, 11, False)]
    # A true-colour picture has none of it.
    deep = orvi.load(ILBM / "24plane-131x131-byterun1.iff")
    assert deep.palette is None and deep.indices is None and deep.alpha is None


def test_the_description_is_a_dict_of_typed_values():
    info = orvi.load(ILBM / "ehb-320x200-anno-dpi.iff").info
    assert info["annotation"].startswith("$VER: Written by ASDG")
    assert info["dpi"] == (72, 72)
    assert info["camg"] == 0x21080
    brush = orvi.load(ILBM / "5plane-16x16-mask2-uncompressed-grab.iff")
    assert brush.info["hot_spot"] == (8, 8)
    assert brush.transparency == 0


@pytest.mark.parametrize("name", ["brush.png", "brush.iff", "brush.xpm"])
def test_a_palette_and_indices_are_saved_as_they_are(tmp_path, name):
    palette = np.array([[200, 0, 0], [0, 0, 0], [0, 200, 0], [9, 9, 200]], np.uint8)
    indices = np.array([[0, 1, 2, 3], [3, 2, 1, 0]], np.uint8)
    orvi.save(indices, tmp_path / name, palette=palette, transparency=3)
    back = orvi.load(tmp_path / name)
    # XPM's transparent colour is "None", whose colour is not kept.
    kept = 3 if name.endswith(".xpm") else 4
    np.testing.assert_array_equal(back.palette[:kept], palette[:kept])
    np.testing.assert_array_equal(back.indices, indices)
    assert back.transparency == 3


def test_rgba_is_saved_with_its_colours_under_the_alpha(tmp_path):
    rgba = np.array([[[200, 100, 50, 128], [10, 20, 30, 255]]], np.uint8)
    orvi.save(rgba, tmp_path / "a.png")
    back = orvi.load(tmp_path / "a.png")
    np.testing.assert_array_equal(back.rgba, rgba)
    np.testing.assert_array_equal(back.alpha, [[128, 255]])
    np.testing.assert_array_equal(back.pixels, [[[100, 50, 25], [10, 20, 30]]])
    orvi.save(rgba, tmp_path / "flat.png", background=(255, 255, 255))
    assert orvi.load(tmp_path / "flat.png").alpha is None


@pytest.mark.parametrize("call, kind, words", [
    (lambda p: orvi.save(np.array([[0, 5]], np.uint8), p, palette=np.zeros((2, 3), np.uint8)),
     orvi.Error, "past its palette's 2 entries"),
    (lambda p: orvi.save(np.zeros((1, 2), np.uint8), p, palette=np.zeros((2, 4), np.uint8)),
     ValueError, "entries x 3"),
    (lambda p: orvi.save(np.zeros((1, 2, 3), np.uint8), p, background=(1, 2)), TypeError,
     "(red, green, blue)"),
    (lambda p: orvi.save(np.zeros((1, 2, 3), np.uint8), p, background=(1, 2, 300)), ValueError,
     "each 0 to 255"),
])
def test_a_palette_or_background_that_cannot_be_is_refused(tmp_path, call, kind, words):
    with pytest.raises(kind) as raised:
        call(tmp_path / "x.png")
    assert words in str(raised.value)


def test_pillow_opens_palette_pictures_as_p_with_their_transparency_and_info():
    with Image.open(ILBM / "5plane-16x16-mask2-uncompressed-grab.iff") as image:
        assert image.mode == "P"
        assert image.info["transparency"] == 0
        assert image.info["hot_spot"] == (8, 8)
        assert image.getpalette()[:6] == orvi.load(
            ILBM / "5plane-16x16-mask2-uncompressed-grab.iff").palette.flatten()[:6].tolist()
    with Image.open(ILBM / "ehb-320x200-anno-dpi.iff") as image:
        assert image.info["dpi"] == (72.0, 72.0)
        assert image.info["Comment"].startswith("$VER:")
    with Image.open(ILBM / "4plane-24x24-mask1-uncompressed.iff") as image:
        assert image.mode == "RGBA", "a mask plane is an opacity a pixel"
        assert 0 in np.asarray(image)[..., 3]


def test_pillow_saves_a_p_picture_with_its_palette_order_and_transparency(tmp_path):
    palette = [9, 9, 200, 200, 0, 0, 0, 200, 0]
    image = Image.new("P", (3, 1))
    image.putpalette(palette)
    image.putdata([2, 0, 1])
    image.info["transparency"] = 1
    image.save(tmp_path / "three.iff")
    back = orvi.load(tmp_path / "three.iff")
    # The CMAP of 2 planes has four entries, the last black.
    assert back.palette.flatten().tolist() == palette + [0, 0, 0]
    assert back.indices.tolist() == [[2, 0, 1]]
    assert back.transparency == 1
    assert back.details["planes"] == 2
