#!/usr/bin/env python3
"""Draws the Portico icon (a pediment on four columns) and writes it as a Windows .ico file.

usage: make-icon.py OUTPUT.ico [RRGGBB]

The images are 32-bit BMPs with alpha at 16, 32, 48 and 256 pixels, anti-aliased by 4x4
supersampling. Nothing but the standard library is used, so the build needs no image tools.
"""
import struct
import sys


def inside(x, y):
    """True when the point (0..1, 0..1, y downwards) lies on the drawing."""
    # Pediment: a triangle from the apex down to the architrave.
    if 0.10 <= y <= 0.34:
        half = (y - 0.10) / 0.24 * 0.42
        if abs(x - 0.5) <= half:
            return True
    if 0.36 <= y <= 0.42 and 0.12 <= x <= 0.88:  # architrave
        return True
    if 0.44 <= y <= 0.80:  # four columns
        for centre in (0.22, 0.41, 0.59, 0.78):
            if abs(x - centre) <= 0.05:
                return True
    if 0.82 <= y <= 0.86 and 0.10 <= x <= 0.90:  # upper step
        return True
    if 0.87 <= y <= 0.91 and 0.06 <= x <= 0.94:  # lower step
        return True
    return False


def image(size, rgb):
    r, g, b = rgb
    samples = 4
    rows = []
    mask_rows = []
    # BMP rows run from the bottom up.
    for py in reversed(range(size)):
        row = bytearray()
        mask_bits = []
        for px in range(size):
            hits = 0
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) / size
                    y = (py + (sy + 0.5) / samples) / size
                    hits += inside(x, y)
            alpha = round(255 * hits / (samples * samples))
            row += bytes((b, g, r, alpha))
            mask_bits.append(0 if alpha else 1)
        rows.append(bytes(row))
        mask = bytearray()
        stride = ((size + 31) // 32) * 4
        for i in range(0, size, 8):
            byte = 0
            for j, bit in enumerate(mask_bits[i:i + 8]):
                byte |= bit << (7 - j)
            mask.append(byte)
        mask += bytes(stride - len(mask))
        mask_rows.append(bytes(mask))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + b"".join(rows) + b"".join(mask_rows)


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    colour = sys.argv[2] if len(sys.argv) == 3 else "1F5C99"
    rgb = tuple(int(colour[i:i + 2], 16) for i in (0, 2, 4))
    sizes = (16, 32, 48, 256)
    images = [image(s, rgb) for s in sizes]
    out = bytearray(struct.pack("<HHH", 0, 1, len(sizes)))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        dim = 0 if s == 256 else s
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
