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

Failures raise orvi.Error subclasses (OutOfMemory, BadFile, Unsupported, AccessError,
UsageError) carrying .code and .sentence. `orvi.pillow` registers the IFF formats with
Pillow; `orvi.dask` converts many files on a Dask cluster.
"""
from ._orvi import (AccessError, BadFile, DEFAULT_MAX_PIXELS, Error, Image, OutOfMemory,
                    Unsupported, UsageError, __version__, configure, filters, formats, load,
                    memory, ops, save)

__all__ = ["AccessError", "BadFile", "DEFAULT_MAX_PIXELS", "Error", "Image", "OutOfMemory",
           "Unsupported", "UsageError", "configure", "filters", "formats", "load", "memory",
           "ops", "save"]
