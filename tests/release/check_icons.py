#!/usr/bin/env python3
"""Checks the shipped icon files byte by byte: the images and bit depths of nimbrel.ico, the
hand pointer cursor, and the PNG sizes embedded as Qt resources.

usage: check_icons.py <resources folder>
"""

import pathlib
import struct
import sys

ICO_EXPECTED = [(32, 24), (48, 32), (128, 32), (256, 32)]
failures = []


def fail(message):
    failures.append(message)


def png_header(data):
    """(width, height, bits per pixel) of a PNG, or None when it is not one."""
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        return None
    width, height, depth, colour = struct.unpack(">IIBB", data[16:26])
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}.get(colour, 0)
    return width, height, depth * channels


def directory(data, kind, what):
    """The entries of an icon or cursor directory: (w, h, field1, field2, payload)."""
    reserved, found_kind, count = struct.unpack("<HHH", data[:6])
    if reserved != 0 or found_kind != kind:
        fail(f"{what}: not a {'cursor' if kind == 2 else 'icon'} file (type {found_kind})")
        return []
    entries = []
    for i in range(count):
        w, h, colours, res, f1, f2, size, offset = struct.unpack(
            "<BBBBHHII", data[6 + 16 * i : 22 + 16 * i]
        )
        if offset + size > len(data):
            fail(f"{what}: image {i} runs past the end of the file")
            continue
        entries.append((w or 256, h or 256, f1, f2, data[offset : offset + size]))
    return entries


def dib_image(payload, size, what):
    """Checks a bitmap entry and returns (bits, rows of alpha-or-mask opacity) top-down."""
    hsize, width, height, planes, bits, compression = struct.unpack("<IiiHHI", payload[:20])
    if hsize != 40 or width != size or height != 2 * size or planes != 1 or compression != 0:
        fail(f"{what}: bad bitmap header {hsize} {width}x{height} planes {planes} "
             f"compression {compression}")
        return bits, None
    stride = ((size * bits + 31) // 32) * 4
    mask_stride = ((size + 31) // 32) * 4
    if len(payload) != 40 + stride * size + mask_stride * size:
        fail(f"{what}: {len(payload)} bytes, expected {40 + (stride + mask_stride) * size}")
        return bits, None
    mask_base = 40 + stride * size
    opaque = []
    for y in range(size):
        row = []
        mask_row = mask_base + (size - 1 - y) * mask_stride
        colour_row = 40 + (size - 1 - y) * stride
        for x in range(size):
            masked = payload[mask_row + x // 8] & (0x80 >> (x % 8))
            alpha = payload[colour_row + x * 4 + 3] if bits == 32 else 255
            row.append(not masked and alpha >= 128)
        opaque.append(row)
    return bits, opaque


def check_ico(path):
    data = path.read_bytes()
    entries = directory(data, 1, path.name)
    found = []
    for w, h, planes, bits, payload in entries:
        what = f"{path.name} {w}x{h}"
        if w != h:
            fail(f"{what}: not square")
        png = png_header(payload)
        if png:
            actual = png[2]
            if png[:2] != (w, h):
                fail(f"{what}: PNG entry is {png[0]}x{png[1]}")
        else:
            actual, opaque = dib_image(payload, w, what)
            if opaque and (opaque[0][0] or not opaque[w // 2][w // 2]):
                fail(f"{what}: rounded corner should be transparent and the middle opaque")
        if bits != actual:
            fail(f"{what}: directory says {bits} bits, image holds {actual}")
        found.append((w, actual))
    if found != ICO_EXPECTED:
        fail(f"{path.name}: images {found}, expected {ICO_EXPECTED} (size, bits)")


def check_cursor(path):
    entries = directory(path.read_bytes(), 2, path.name)
    if len(entries) != 1:
        fail(f"{path.name}: {len(entries)} images, expected one")
        return
    w, h, hot_x, hot_y, payload = entries[0]
    if (w, h) != (32, 32):
        fail(f"{path.name}: {w}x{h}, expected 32x32")
        return
    _, opaque = dib_image(payload, 32, path.name)
    if opaque is None:
        return
    # The hot spot belongs at the tip of the pointing finger: on the topmost drawn row (or the
    # one below it), inside the finger's width.
    top = next((y for y in range(32) if any(opaque[y])), None)
    if top is None:
        fail(f"{path.name}: the image is empty")
        return
    columns = [x for x in range(32) if opaque[top][x] or opaque[top + 1][x]]
    if not (top <= hot_y <= top + 1 and min(columns) <= hot_x <= max(columns)):
        fail(f"{path.name}: hot spot ({hot_x}, {hot_y}) is not at the finger tip "
             f"(row {top}, columns {min(columns)}-{max(columns)})")


def check_pngs(folder):
    for size, _ in ICO_EXPECTED:
        path = folder / "icons" / f"nimbrel-{size}.png"
        header = png_header(path.read_bytes()) if path.exists() else None
        if header != (size, size, 32):
            fail(f"{path.name}: {header}, expected {size}x{size} RGBA")


def main():
    folder = pathlib.Path(sys.argv[1])
    check_ico(folder / "nimbrel.ico")
    check_cursor(folder / "HAND-M.CUR")
    check_pngs(folder)
    for message in failures:
        print("FAIL:", message)
    print("icon files:", "ok" if not failures else f"{len(failures)} problem(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
