#!/usr/bin/env python3
"""Writes the program's icon: a triangle of a mesh, its three corners marked,
on a blue square, 32 x 32 pixels in 32-bit colour. Made at build time so that
the repository holds no image whose origin cannot be read.

    make_icon.py OUT.ico
"""
import struct
import sys

SIZE = 32
CORNERS = [(6, 25), (26, 22), (15, 5)]


def inside(x, y):
    # The side of each edge the point lies on, all alike inside.
    signs = []
    for i in range(3):
        (ax, ay), (bx, by) = CORNERS[i], CORNERS[(i + 1) % 3]
        signs.append((bx - ax) * (y - ay) - (by - ay) * (x - ax) >= 0)
    return all(signs) or not any(signs)


def pixel(x, y):
    if any(abs(x - cx) <= 1 and abs(y - cy) <= 1 for cx, cy in CORNERS):
        return (255, 200, 40, 255)  # corners: amber
    if inside(x + 0.5, y + 0.5):
        return (235, 240, 245, 255)  # the face
    if 1 <= x <= 30 and 1 <= y <= 30:
        return (40, 90, 160, 255)  # the square
    return (0, 0, 0, 0)


def main():
    rows = []
    for y in reversed(range(SIZE)):  # a bitmap is stored bottom-up
        row = b"".join(struct.pack("BBBB", b, g, r, a)
                       for r, g, b, a in (pixel(x, y) for x in range(SIZE)))
        rows.append(row)
    pixels = b"".join(rows)
    mask = b"\0" * (SIZE * SIZE // 8)  # the alpha channel decides
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 32, 0,
                         len(pixels) + len(mask), 0, 0, 0, 0)
    image = header + pixels + mask
    icon = struct.pack("<HHH", 0, 1, 1)
    icon += struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    with open(sys.argv[1], "wb") as out:
        out.write(icon + image)


if __name__ == "__main__":
    main()
