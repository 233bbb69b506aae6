#!/usr/bin/env python3
"""Draws Tolvane's icon: a database drum with a compress arrow, 32x32, 32-bit colour."""
import struct
import sys

SIZE = 32


def pixel(x, y):
    # Drum body: a rounded cylinder in slate blue, with lighter rims.
    cx, rx = 15.5, 11.0
    top, bottom = 7, 26
    inside_x = abs(x - cx) <= rx
    def on_ellipse(yc, thickness):
        dx = (x - cx) / rx
        dy = (y - yc) / 3.0
        d = dx * dx + dy * dy
        return d <= 1.0 and d >= 1.0 - thickness
    def in_ellipse(yc):
        dx = (x - cx) / rx
        dy = (y - yc) / 3.0
        return dx * dx + dy * dy <= 1.0
    if on_ellipse(top, 0.45):
        return (230, 240, 250, 255)
    if in_ellipse(top):
        return (120, 160, 210, 255)
    if inside_x and top <= y <= bottom or in_ellipse(bottom):
        # Two bands mark the records squeezed together.
        if y in (14, 20) and inside_x:
            return (230, 240, 250, 255)
        shade = int(60 + 60 * (1 - abs(x - cx) / rx))
        return (shade, shade + 40, 170, 255)
    # Compress arrows on either side, in amber.
    if 1 <= x <= 3 and 10 <= y <= 22 and abs(y - 16) <= 6 - (3 - x) * 2:
        return (245, 170, 30, 255)
    if 28 <= x <= 30 and 10 <= y <= 22 and abs(y - 16) <= 6 - (x - 28) * 2:
        return (245, 170, 30, 255)
    return (0, 0, 0, 0)


def main(path):
    rows = []
    for y in reversed(range(SIZE)):  # bitmaps are stored bottom-up
        row = b""
        for x in range(SIZE):
            r, g, b, a = pixel(x, y)
            row += bytes((b, g, r, a))
        rows.append(row)
    xor = b"".join(rows)
    mask_row = bytes(SIZE // 8)
    and_mask = mask_row * SIZE
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(and_mask),
                         0, 0, 0, 0)
    image = header + xor + and_mask
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    with open(path, "wb") as out:
        out.write(icondir + entry + image)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "Tolvane.ico")
