"""Orvi's readers and writers inside Pillow.

`import orvi.pillow` registers IFF pictures (FORM ILBM, PBM, ACBM, RGBN, RGB8 and DEEP,
and LIST and CAT files of them; files named .iff, .ilbm or .lbm)
for Image.open and Image.save. A picture opens in mode "P" when its file has a palette and
no hold-and-modify (with extra half-brite's 64 colours), as a PCX file with a 256-colour
or header palette does, in "RGB" otherwise; im.info holds
what `orvi info` says of the file (display_mode, planes, compression, masking, ...).
Pillow's own PCX, PPM and XPM readers stay in place unless `register(replace=True)` puts
Orvi's there too.
"""
import numpy as np
from PIL import Image, ImageFile
# Pillow's own readers of these formats register themselves when first imported, which
# Pillow does lazily, on the first file it cannot place: imported now, they are in place
# before Orvi's take their names, and never come back over them.
from PIL import PcxImagePlugin, PpmImagePlugin, XpmImagePlugin  # noqa: F401

from . import _orvi


_PICTURE_FORMS = (b"ILBM", b"PBM ", b"ACBM", b"RGBN", b"RGB8", b"DEEP", b"TVPP")


def _is_ilbm(prefix):
    """An IFF picture: a FORM of a picture type, or a LIST or CAT (whatever their type
    says, the pictures inside decide)."""
    return (prefix[:4] == b"FORM" and prefix[8:12] in _PICTURE_FORMS) or \
        prefix[:4] in (b"LIST", b"CAT ")


def _cmap(data):
    """The CMAP bytes of the file's first FORM ILBM that has one, or None."""
    at, end = 12, len(data)
    while at + 8 <= end:
        kind, size = data[at:at + 4], int.from_bytes(data[at + 4:at + 8], "big")
        if kind in (b"FORM", b"LIST", b"CAT ", b"PROP"):
            at += 12
            continue
        if kind == b"CMAP":
            return data[at + 8:at + 8 + size]
        if kind in (b"BODY", b"ABIT"):
            return None
        at += 8 + size + (size & 1)
    return None


def _pcx_palette(fp, details):
    """The palette a PCX file's pixels were coloured through, n x 3, or None: the
    256-colour trailer (its last 768 bytes) or the 16 colours of the header."""
    source = details.get("palette")
    if source == "256-colour trailer":
        fp.seek(-769, 2)
        data = fp.read(769)
        return np.frombuffer(data[1:], np.uint8).reshape(256, 3) if data[:1] == b"\x0c" else None
    if source == "header":
        fp.seek(16)
        colours = 1 << min(details.get("bits_per_pixel", 4), 4)
        return np.frombuffer(fp.read(48), np.uint8).reshape(16, 3)[:colours]
    return None


class OrviImageFile(ImageFile.ImageFile):
    """A picture read by Orvi; its pixels are decoded when it is opened."""

    format = "ILBM"
    format_description = "IFF ILBM (read by Orvi)"

    def _open(self):
        # A file opened by name is read by name (no copy of its bytes); its first bytes are
        # read where a palette is looked for (the CMAP comes before the BODY), and all of
        # them when there is no name.
        name = getattr(self, "filename", None)
        data = None
        if name and not isinstance(self, (OrviPcxFile, OrviPpmFile, OrviXpmFile)):
            data = self.fp.read(1 << 20)
        if name:
            picture = _orvi.load(name)
        else:
            data = self.fp.read()
            picture = _orvi.load(data)
        details = picture.details
        pixels = picture.pixels
        self.info.update({key: value for key, value in details.items()
                          if key not in ("format", "width", "height")})
        self.info["orvi_format"] = picture.format
        palette = None
        display = details.get("display_mode")
        planes = details.get("planes", 24)
        if (data is not None and picture.format == "ILBM" and
                display in ("plain", "extra half-brite") and planes <= 8):
            cmap = _cmap(data)
            if cmap:
                palette = np.frombuffer(cmap[:len(cmap) // 3 * 3], np.uint8).reshape(-1, 3)
                if display == "extra half-brite":
                    palette = np.concatenate([palette[:32], palette[:32] // 2])
                palette = palette[:256]
        elif picture.format == "PCX" and pixels.ndim == 3 and name:
            palette = _pcx_palette(self.fp, details)
        # A palette picture keeps its palette ("P", its indices shared with Pillow, not
        # copied) when every pixel is one of the palette's colours; "RGB" otherwise.
        indices = None
        if palette is not None and len(palette) > 0 and pixels.ndim == 3:
            indices = _orvi.palette_indices(pixels, palette)
        if indices is not None:
            mode = "P"
            image = Image.frombuffer("P", (picture.width, picture.height), indices, "raw", "P", 0, 1)
            image.putpalette(palette.tobytes())
        elif pixels.ndim == 2:
            mode, image = "L", Image.fromarray(pixels, "L")
        else:
            mode, image = "RGB", Image.fromarray(pixels, "RGB")
        self._size = image.size
        self.mode = mode
        self.im = image.im
        self.palette = image.palette
        self.tile = []


class OrviPcxFile(OrviImageFile):
    format = "PCX"
    format_description = "PCX (read by Orvi)"


class OrviPpmFile(OrviImageFile):
    format = "PPM"
    format_description = "PBM, PGM or PPM (read by Orvi)"


class OrviXpmFile(OrviImageFile):
    format = "XPM"
    format_description = "XPM (read by Orvi)"


def _saver(orvi_format):
    def save(image, fp, filename):
        depth = None
        if image.mode == "P":
            colours = len(image.getcolors(256) or [])
            depth = max(1, (max(colours, 1) - 1).bit_length())
        pixels = np.asarray(image.convert("RGB"))
        _orvi.save(pixels, fp, format=orvi_format, depth=depth)
    return save


def register(replace=False):
    """Registers IFF ILBM with Pillow; with `replace`, Orvi's PCX, PPM and XPM readers
    (and PCX and PPM writers) take the place of Pillow's own."""
    Image.register_open(OrviImageFile.format, OrviImageFile, _is_ilbm)
    Image.register_save(OrviImageFile.format, _saver("ilbm"))
    Image.register_extensions(OrviImageFile.format, [".iff", ".ilbm", ".lbm"])
    if replace:
        Image.register_open(OrviPcxFile.format, OrviPcxFile, lambda p: p[:1] == b"\x0a")
        Image.register_save(OrviPcxFile.format, _saver("pcx"))
        Image.register_open(OrviPpmFile.format, OrviPpmFile,
                            lambda p: p[:1] == b"P" and p[1:2] in b"123456")
        Image.register_save(OrviPpmFile.format, _saver("ppm"))
        Image.register_open(OrviXpmFile.format, OrviXpmFile, lambda p: b"XPM" in p[:9])


register()
