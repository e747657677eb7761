"""Orvi's readers and writers inside Pillow.

`import orvi.pillow` registers IFF pictures (FORM ILBM, PBM, ACBM, RGBN, RGB8 and DEEP,
and LIST and CAT files of them; files named .iff, .ilbm or .lbm)
for Image.open and Image.save. A picture opens in mode "P" when its file is a palette
picture (no hold-and-modify; extra half-brite with its 64 colours), with its palette in
the file's order and im.info["transparency"] for a transparent colour; "RGBA" when it has
an opacity a pixel (a mask plane, PAM or PNG alpha); "RGB" otherwise. im.info holds what
`orvi info` says of the file (display_mode, planes, compression, masking, ...), its texts
under PNG's keywords (Title, Author, Copyright, Comment), "dpi" and "aspect" as pairs,
and "hot_spot", "camg" and "ranges". Saving a "P" picture keeps its palette and
indices; "RGBA" keeps its opacity where the format holds it. An IFF ANIM gives n_frames,
seek() and tell(), and im.info["duration"] in milliseconds, as Pillow's GIF plug-in does.
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


_PICTURE_FORMS = (b"ILBM", b"PBM ", b"ACBM", b"RGBN", b"RGB8", b"DEEP", b"TVPP", b"ANIM")


def _is_ilbm(prefix):
    """An IFF picture: a FORM of a picture type, or a LIST or CAT (whatever their type
    says, the pictures inside decide)."""
    return (prefix[:4] == b"FORM" and prefix[8:12] in _PICTURE_FORMS) or \
        prefix[:4] in (b"LIST", b"CAT ")


# Our texts' keys and the keywords Pillow's PNG plug-in files them under.
_TEXT_KEYWORDS = {"name": "Title", "author": "Author", "copyright": "Copyright",
                  "annotation": "Comment", "software": "Software",
                  "description": "Description", "version": "Version"}


def _info(picture):
    """im.info as Pillow's own plug-ins fill it: what `orvi info` says of the file, its
    texts under PNG's keywords, "dpi" and "aspect" as pairs, and the rest of what the
    file says under its own key."""
    info = {key: value for key, value in picture.details.items()
            if key not in ("format", "width", "height")}
    for key, value in picture.info.items():
        if key == "dpi":
            info["dpi"] = tuple(float(n) for n in value)
        else:
            info[_TEXT_KEYWORDS.get(key, key)] = value
    info["orvi_format"] = picture.format
    return info


class OrviImageFile(ImageFile.ImageFile):
    """A picture read by Orvi; its pixels are decoded when it is opened."""

    format = "ILBM"
    format_description = "IFF ILBM (read by Orvi)"

    def _open(self):
        # A file opened by name is read by name (no copy of its bytes).
        name = getattr(self, "filename", None)
        self._source = name if name else self.fp.read()
        picture = _orvi.load(self._source)
        self.info.update(_info(picture))
        # An animation's frames load on seek(), in order, from pictures opened once.
        self._pictures = None
        self._frame = 0
        self._n_frames = int(picture.details.get("frames", 1))
        self._show(picture)

    def _show(self, picture):
        # A palette picture keeps its palette and indices ("P", the indices shared with
        # Pillow, not copied) and its transparent colour; opacity a pixel gives "RGBA".
        size = (picture.width, picture.height)
        self.info.pop("transparency", None)
        if picture.alpha is not None:
            mode, image = "RGBA", Image.fromarray(picture.rgba, "RGBA")
        elif picture.indices is not None:
            mode = "P"
            image = Image.frombuffer("P", size, picture.indices, "raw", "P", 0, 1)
            image.putpalette(picture.palette.tobytes())
            if picture.transparency is not None:
                self.info["transparency"] = picture.transparency
        elif picture.pixels.ndim == 2:
            mode, image = "L", Image.fromarray(picture.pixels, "L")
        else:
            mode, image = "RGB", Image.fromarray(picture.pixels, "RGB")
        if picture.duration > 0:
            self.info["duration"] = round(picture.duration * 1000)
        self._size = image.size
        self.mode = mode
        self.im = image.im
        self.palette = image.palette
        self.tile = []

    @property
    def n_frames(self):
        return self._n_frames

    @property
    def is_animated(self):
        return self._n_frames > 1

    def seek(self, frame):
        """Frame `frame` of an animation, from 0, as Pillow's GIF plug-in counts them."""
        if not self._seek_check(frame) or frame == self._frame:
            return
        if self._pictures is None:
            self._pictures = _orvi.open(self._source)
        self._show(self._pictures.load(frame + 1, details=False))
        self._frame = frame

    def tell(self):
        return self._frame


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
        transparency = image.encoderinfo.get("transparency", image.info.get("transparency"))
        if image.mode == "P":
            # Its palette in its order, up to the last entry a pixel takes.
            indices = np.asarray(image)
            palette = np.array(image.getpalette() or [0, 0, 0], np.uint8).reshape(-1, 3)
            entries = min(len(palette), int(indices.max()) + 1)
            if isinstance(transparency, int) and transparency >= entries:
                transparency = None
            _orvi.save(indices, fp, format=orvi_format, palette=palette[:max(entries, 1)],
                       transparency=transparency if isinstance(transparency, int) else None)
        elif image.mode in ("RGBA", "LA", "PA") or "transparency" in image.info:
            _orvi.save(np.asarray(image.convert("RGBA")), fp, format=orvi_format)
        else:
            _orvi.save(np.asarray(image.convert("RGB")), fp, format=orvi_format)
    return save


def register(replace=False):
    """Registers IFF ILBM with Pillow; with `replace`, Orvi's PCX, PPM and XPM readers
    (and PCX and PPM writers) take the place of Pillow's own."""
    Image.register_open(OrviImageFile.format, OrviImageFile, _is_ilbm)
    Image.register_save(OrviImageFile.format, _saver("ilbm"))
    Image.register_extensions(OrviImageFile.format, [".iff", ".ilbm", ".lbm", ".anim"])
    if replace:
        Image.register_open(OrviPcxFile.format, OrviPcxFile, lambda p: p[:1] == b"\x0a")
        Image.register_save(OrviPcxFile.format, _saver("pcx"))
        Image.register_open(OrviPpmFile.format, OrviPpmFile,
                            lambda p: p[:1] == b"P" and p[1:2] in b"123456")
        Image.register_save(OrviPpmFile.format, _saver("ppm"))
        Image.register_open(OrviXpmFile.format, OrviXpmFile, lambda p: b"XPM" in p[:9])


register()
