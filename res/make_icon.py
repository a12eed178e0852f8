#!/usr/bin/env python3
"""Draws the program's icon (a dark shield with a white keyhole on it) at
16 and 32 pixels and writes it as cloakwall.ico. Run it again after a change
of the drawing; the .ico it writes is what the resource script includes."""
import struct
import sys


def pixel(size, x, y):
    # Coordinates in 0..1 with the pixel's centre.
    u = (x + 0.5) / size
    v = (y + 0.5) / size
    # Shield: straight top, sides that narrow into a point at the bottom.
    half = 0.42 if v < 0.55 else 0.42 * max(0.0, (0.97 - v) / 0.42)
    inside = 0.06 <= v <= 0.97 and abs(u - 0.5) <= half
    if not inside:
        return (0, 0, 0, 0)
    edge = abs(u - 0.5) > half - 1.4 / size or v < 0.06 + 1.4 / size
    if edge:
        return (0x1b, 0x2a, 0x4a, 255)       # navy rim
    # Keyhole: a round head and a wedge below it.
    head = (u - 0.5) ** 2 + (v - 0.40) ** 2 <= 0.11 ** 2
    wedge = 0.40 <= v <= 0.74 and abs(u - 0.5) <= 0.05 + (v - 0.40) * 0.12
    if head or wedge:
        return (255, 255, 255, 255)
    shade = int(0x2f + 0x40 * (1 - v))
    return (0x12, shade + 0x30, shade + 0x60, 255)   # teal to dark blue


def image(size):
    rows = []
    for y in reversed(range(size)):                 # BMP rows go bottom up
        row = b""
        for x in range(size):
            r, g, b, a = pixel(size, x, y)
            row += bytes([b, g, r, a])
        rows.append(row)
    xor = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    and_rows = []
    for y in reversed(range(size)):
        bits = 0
        for x in range(size):
            if pixel(size, x, y)[3] == 0:
                bits |= 1 << (mask_row * 8 - 1 - x)
        and_rows.append(bits.to_bytes(mask_row, "big"))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor), 0, 0, 0, 0)
    return header + xor + b"".join(and_rows)


def main(path):
    sizes = [16, 32]
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "cloakwall.ico")
