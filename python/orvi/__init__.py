"""Orvi for Python: load, process and save old pictures (IFF ILBM, PCX, PBM/PGM/PPM, XPM,
PNG) through Orvi's modules, as numpy arrays.

    import orvi
    image = orvi.load("scene.iff")          # a path, bytes or a file object
    pixels = image.pixels                   # height x width x 3 uint8, no copy
    turned = orvi.ops.rotate(pixels, "cw")  # a new array
    orvi.save(turned, "scene.png")          # atomic; format from the name or format=
    image.palette, image.indices            # a palette picture's, in the file's order
    image.alpha, image.transparency         # opacity a pixel, or the transparent index
    image.info                              # texts, dpi, aspect, hot_spot, camg, ranges
    orvi.save(image.indices, "again.iff", palette=image.palette)  # kept as they are
    for pixels, seconds in orvi.frames("walk.anim"):  # an animation's frames, in order
        ...

Failures raise orvi.Error subclasses (OutOfMemory, BadFile, Unsupported, AccessError,
UsageError) carrying .code and .sentence. `orvi.pillow` registers the IFF formats with
Pillow; `orvi.dask` converts many files on a Dask cluster.
"""
from ._orvi import (AccessError, BadFile, DEFAULT_MAX_PIXELS, Error, Image, OutOfMemory,
                    Pictures, Unsupported, UsageError, __version__, configure, filters,
                    formats, load, memory, open, ops, save)

__all__ = ["AccessError", "BadFile", "DEFAULT_MAX_PIXELS", "Error", "Image", "OutOfMemory",
           "Pictures", "Unsupported", "UsageError", "configure", "filters", "formats", "frames",
           "load", "memory", "open", "ops", "save"]


def frames(source):
    """Yields each frame of an animation (or the one picture of a still, or each page of
    a file of several) as (pixels, seconds): the pixels as `load` gives them, sharing the
    frame's memory, and how long the frame is shown (0 for a still or a page). A frame
    that cannot be drawn raises its error after the frames before it."""
    pictures = open(source)  # noqa: A001 (orvi.open, not the builtin)
    for number in range(1, pictures.count + 1):
        picture = pictures.load(number, details=False)
        yield picture.pixels, picture.duration
