"""IFF ANIM files made from frames of palette indices, with deltas of operations 5, 7 and
8 (short and long, set or XOR), as the layouts say: for testing readers against what the
frames are by construction."""
import struct

import numpy as np


def chunk(cid, data):
    return cid + struct.pack(">I", len(data)) + data + (b"\0" if len(data) % 2 else b"")


def form(kind, body):
    return b"FORM" + struct.pack(">I", len(body) + 4) + kind + body


def planes_of(indices, depth):
    """height x depth x row_bytes plane rows of a frame of indices."""
    height, width = indices.shape
    row_bytes = 2 * ((width + 15) // 16)
    padded = np.zeros((height, row_bytes * 8), np.uint8)
    padded[:, :width] = indices
    return np.stack([np.packbits((padded >> p) & 1, axis=1) for p in range(depth)], 1)


def columns(plane, size):
    """A plane (height x row_bytes) as columns of `size`-byte elements, big-endian, the last
    one padded with zeros past the row."""
    height, row_bytes = plane.shape
    count = -(-row_bytes // size)
    padded = np.zeros((height, count * size), np.uint8)
    padded[:, :row_bytes] = plane
    return [
        [int.from_bytes(bytes(padded[y, c * size:(c + 1) * size]), "big") for y in range(height)]
        for c in range(count)
    ]


def column_ops(new, old, xor):
    """(skip, kind, values) for a column: skip the unchanged rows on top, then a run of one
    value (SAME) or of each row's value (UNIQ); None when nothing changed."""
    rows = len(new)
    top = 0
    while top < rows and new[top] == old[top]:
        top += 1
    if top == rows:
        return None
    values = [n ^ o if xor else n for n, o in zip(new[top:], old[top:])]
    return top, ("same" if len(set(values)) == 1 else "uniq"), values


def delta(operation, new, old, depth, long_data=False, xor=False):
    """The DLTA of `new` over `old` (plane rows as planes_of gives)."""
    size = 1 if operation == 5 else 4 if long_data else 2
    lists = []
    for p in range(depth):
        ops, data = bytearray(), bytearray()
        put = (lambda v: data.extend(v.to_bytes(size, "big"))) if operation == 7 else None
        word = (lambda v: ops.extend(v.to_bytes(size if operation == 8 else 1, "big")))
        value = put if operation == 7 else (lambda v: ops.extend(v.to_bytes(size, "big")))
        top_bit = 0x80 if operation != 8 else 1 << (8 * size - 1)
        for n_col, o_col in zip(columns(new[:, p], size), columns(old[:, p], size)):
            found = column_ops(n_col, o_col, xor)
            if found is None:
                word(0)
                continue
            skip, kind, values = found
            runs = [] if kind == "same" else [values[i:i + 127] for i in range(0, len(values), 127)]
            word((1 if skip else 0) + (1 if kind == "same" else len(runs)))
            if skip:
                word(skip)
            if kind == "same":
                word(0)
                word(len(values))
                value(values[0])
            for run in runs:
                word(top_bit | len(run))
                for v in run:
                    value(v)
        lists.append((bytes(ops), bytes(data)))
    slots = 16 if operation == 5 else 8
    offsets, blob = [0] * 16, bytearray()
    start = 64
    for p, (ops, data) in enumerate(lists):
        offsets[p] = start + len(blob)
        blob += ops
        if operation == 7:
            offsets[8 + p] = start + len(blob)
            blob += data
    assert slots <= 16
    return struct.pack(">16I", *offsets) + bytes(blob)


def anhd(operation, jiffies, bits=0, interleave=0):
    return chunk(b"ANHD", struct.pack(">BBHHhhIIBBI16x", operation, 0, 0, 0, 0, 0, 0, jiffies,
                                      interleave, 0, bits))


def anim(frames, palettes, depth, operation, long_data=False, xor=False, jiffies=3):
    """A FORM ANIM of `frames` (indices, height x width) with interleave 2 (ANHD 0);
    palettes[k], when not None, is a CMAP from frame k on."""
    height, width = frames[0].shape
    bmhd = struct.pack(">HHhhBBBBHBBhh", width, height, 0, 0, depth, 0, 0, 0, 0, 10, 11, width,
                       height)
    planes = [planes_of(f, depth) for f in frames]
    first = (chunk(b"BMHD", bmhd) + anhd(0, jiffies) + chunk(b"CMAP", bytes(palettes[0])) +
             chunk(b"BODY", planes[0].tobytes()))
    body = form(b"ILBM", first)
    bits = (1 if long_data else 0) | (2 if xor else 0)
    for k in range(1, len(frames)):
        old = planes[k - 2] if k >= 2 else planes[0]
        inside = anhd(operation, jiffies, bits)
        if palettes[k] is not None:
            inside += chunk(b"CMAP", bytes(palettes[k]))
        inside += chunk(b"DLTA", delta(operation, planes[k], old, depth, long_data, xor))
        body += form(b"ILBM", inside)
    return form(b"ANIM", body)


def colours(frame, palettes):
    """The pixels of each frame: its indices through the palette in force."""
    shown, palette = [], None
    for indices, given in zip(frame, palettes):
        palette = np.array(given if given is not None else palette, np.uint8).reshape(-1, 3)
        shown.append(palette[indices])
    return shown


def still(indices, palette, depth, extra=b""):
    """A FORM ILBM of `indices` (height x width) with its CMAP and `extra` chunks (CRNG...)
    before an uncompressed BODY."""
    height, width = indices.shape
    bmhd = struct.pack(">HHhhBBBBHBBhh", width, height, 0, 0, depth, 0, 0, 0, 0, 10, 11, width,
                       height)
    return form(b"ILBM", chunk(b"BMHD", bmhd) + chunk(b"CMAP", bytes(palette)) + extra +
                chunk(b"BODY", planes_of(indices, depth).tobytes()))


def crng(low, high, rate, reverse=False):
    return chunk(b"CRNG", struct.pack(">hhhBB", 0, rate, 3 if reverse else 1, low, high))
