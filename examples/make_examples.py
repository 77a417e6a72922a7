#!/usr/bin/env python3
"""Draws the sample pictures in this folder. Plain Python, no libraries: run it again to
remake them exactly.

  logo-576.bmp   a 576 x 192 logo, 1 bit a pixel: the full width of a 576-dot printer
  badge-128.bmp  a narrow 128 x 128 badge, 4-bit palette
  photo-480.bmp  a 480 x 240 photo-like picture, 24 bits: grey ramps and a colour wheel
                 that show where the dark threshold falls (brightness 128 of 255)
"""
import math
import struct


def write_bmp(path, width, height, bits, palette, pixel):
    """pixel(x, y) gives a palette index (bits <= 8) or an (r, g, b) tuple (24 bits);
    rows are stored bottom-up, each padded to 4 bytes."""
    row_bytes = ((width * bits + 31) // 32) * 4
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray(row_bytes)
        for x in range(width):
            value = pixel(x, y)
            if bits == 24:
                r, g, b = value
                row[3 * x:3 * x + 3] = bytes((b, g, r))
            else:
                per_byte = 8 // bits
                shift = 8 - bits * (x % per_byte + 1)
                row[x // per_byte] |= value << shift
        rows.append(bytes(row))
    pal = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    offset = 14 + 40 + len(pal)
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(data), 2835, 2835,
                       len(palette), 0)
    with open(path, "wb") as f:
        f.write(header + info + pal + data)


def logo(x, y):
    """A receipt with a quill: a rounded frame, a Q ring, text-like bars."""
    w, h = 576, 192
    # Frame 6 pixels wide with rounded corners.
    r = 24
    cx = min(max(x, r), w - 1 - r)
    cy = min(max(y, r), h - 1 - r)
    d = math.hypot(x - cx, y - cy)
    if r - 6 <= d <= r and (x < r or x > w - 1 - r or y < r or y > h - 1 - r):
        return 1
    if (x < 6 or x > w - 7) and r <= y <= h - 1 - r:
        return 1
    if (y < 6 or y > h - 7) and r <= x <= w - 1 - r:
        return 1
    # The Q: a ring with a tail.
    qx, qy = 110, 96
    dq = math.hypot(x - qx, y - qy)
    if 44 <= dq <= 62:
        return 1
    if 0 <= (x - qx) - (y - qy) <= 14 and 120 <= x <= 170 and 110 <= y <= 160:
        return 1
    # A quill across the right part: a curved shaft with barbs.
    t = (x - 210) / 330.0
    if 0 <= t <= 1:
        shaft = 150 - 100 * t - 25 * math.sin(math.pi * t)
        if abs(y - shaft) <= 2:
            return 1
        if t > 0.25 and abs(y - shaft) <= 26 * math.sin(math.pi * (t - 0.25) / 0.75) \
                and (x // 4 + int(y - shaft) // 3) % 2 == 0:
            return 1
    # Receipt lines below the quill.
    if 172 <= y <= 176 and 220 <= x <= 540 and (x // 40) % 3 != 2:
        return 1
    return 0


def badge(x, y):
    """Concentric rings and a diamond, in four greys."""
    d = math.hypot(x - 63.5, y - 63.5)
    if abs(x - 63.5) + abs(y - 63.5) <= 30:
        return 3
    if d <= 62 and int(d) // 8 % 2 == 0:
        return 2 if d < 40 else 1
    return 0


def photo(x, y):
    """Left: grey ramps across the threshold. Right: a colour wheel fading to black."""
    if x < 240:
        if y < 120:
            g = round(x * 255 / 239)  # 0 to 255 across
        else:
            g = 108 + round(x * 40 / 239)  # 108 to 148: the threshold in close-up
        return (g, g, g)
    cx, cy = 360, 120
    dx, dy = x - cx, y - cy
    d = math.hypot(dx, dy)
    if d > 110:
        return (255, 255, 255)
    hue = (math.degrees(math.atan2(dy, dx)) + 360) % 360
    c = 1.0
    xh = c * (1 - abs((hue / 60) % 2 - 1))
    r, g, b = [(c, xh, 0), (xh, c, 0), (0, c, xh), (0, xh, c), (xh, 0, c), (c, 0, xh)][int(hue // 60) % 6]
    v = 255 * min(1.0, 1.6 - d / 110)  # bright centre, darker rim
    return (round(r * v), round(g * v), round(b * v))


if __name__ == "__main__":
    write_bmp("logo-576.bmp", 576, 192, 1, [(255, 255, 255), (0, 0, 0)], logo)
    write_bmp("badge-128.bmp", 128, 128, 4,
              [(255, 255, 255), (150, 150, 150), (60, 60, 60), (0, 0, 0)], badge)
    write_bmp("photo-480.bmp", 480, 240, 24, [], photo)
