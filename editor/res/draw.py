#!/usr/bin/env python3
"""Draws Tagwright's toolbar bitmap (Toolbar.bmp) and icon (Tagwright.ico), 16 colours.

Run it from this folder after changing a picture; the build uses the files it writes.
"""
import struct

# The 16 colours of the standard palette, as (r, g, b).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)


class Canvas:
    def __init__(self, w, h, fill):
        self.w, self.h = w, h
        self.px = [[fill] * w for _ in range(h)]

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def fill(self, x0, y0, x1, y1, c):  # inclusive corners
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        for x in range(x0, x1 + 1):
            self.set(x, y0, c)
            self.set(x, y1, c)
        for y in range(y0, y1 + 1):
            self.set(x0, y, c)
            self.set(x1, y, c)

    def box(self, x0, y0, x1, y1, inside, outline=BLACK):
        self.fill(x0, y0, x1, y1, inside)
        self.frame(x0, y0, x1, y1, outline)

    def line(self, x0, y0, x1, y1, c):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            self.set(round(x0 + (x1 - x0) * i / steps), round(y0 + (y1 - y0) * i / steps), c)

    def ring(self, cx, cy, r, c, inside=None):
        for y in range(self.h):
            for x in range(self.w):
                d = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
                if inside is not None and d < r - 0.5:
                    self.set(x, y, inside)
                elif abs(d - r) < 0.6:
                    self.set(x, y, c)

    def blit(self, other, dx, dy):
        for y in range(other.h):
            for x in range(other.w):
                self.set(dx + x, dy + y, other.px[y][x])


def page(c, x0, y0, x1, y1, lines=True):
    """A sheet of paper with a folded corner and lines of text."""
    c.box(x0, y0, x1, y1, WHITE)
    for i in range(3):
        c.set(x1 - i, y0 + 2 - i, SILVER)
    c.line(x1 - 3, y0, x1 - 3, y0 + 3, BLACK)
    c.line(x1 - 3, y0 + 3, x1, y0 + 3, BLACK)
    if lines:
        for y in range(y0 + 5, y1 - 1, 2):
            c.line(x0 + 2, y, x1 - 2, y, GREY)


def open_image():
    c = Canvas(20, 20, SILVER)
    # The folder's back with its tab.
    c.box(1, 5, 7, 7, YELLOW)
    c.box(1, 6, 15, 16, YELLOW)
    c.line(2, 7, 14, 7, WHITE)
    # The open front flap, slanted.
    for i, y in enumerate(range(10, 17)):
        c.line(4 + 6 - i, y, 18 - i, y, OLIVE)
    c.line(10, 10, 18, 10, BLACK)
    c.line(18, 10, 12, 16, BLACK)
    c.line(4, 16, 12, 16, BLACK)
    c.line(10, 10, 4, 16, BLACK)
    # The arrow out of the folder.
    c.line(12, 2, 15, 1, BLACK)
    c.line(15, 1, 18, 3, BLACK)
    c.line(18, 3, 18, 6, BLACK)
    c.line(16, 5, 18, 7, BLACK)
    c.line(19, 5, 18, 7, BLACK)
    return c


def save_image():
    c = Canvas(20, 20, SILVER)
    c.box(2, 2, 17, 17, NAVY)
    c.box(5, 2, 14, 9, WHITE)          # label
    for y in (4, 6, 8):
        c.line(7, y, 12, y, GREY)
    c.box(6, 12, 14, 17, SILVER)       # shutter
    c.fill(11, 13, 12, 16, NAVY)
    c.set(3, 3, AQUA)
    return c


def cut_image():
    c = Canvas(20, 20, SILVER)
    c.line(6, 1, 10, 10, BLACK)       # blades
    c.line(7, 1, 10, 9, GREY)
    c.line(13, 1, 9, 10, BLACK)
    c.line(12, 1, 9, 9, GREY)
    c.set(9, 10, NAVY)
    c.ring(6, 14, 3, RED)              # handles
    c.ring(13, 14, 3, RED)
    c.line(8, 11, 9, 10, RED)
    c.line(11, 11, 10, 10, RED)
    return c


def copy_image():
    c = Canvas(20, 20, SILVER)
    page(c, 1, 1, 11, 13)
    page(c, 7, 6, 18, 18)
    return c


def paste_image():
    c = Canvas(20, 20, SILVER)
    c.box(1, 3, 13, 18, OLIVE)         # clipboard
    c.box(4, 1, 10, 4, GREY)           # clip
    c.fill(6, 2, 8, 2, BLACK)
    page(c, 7, 7, 18, 18)
    return c


def icon_image(size):
    s = size / 32
    c = Canvas(size, size, None)

    def p(v):
        return int(round(v * s))

    page(c, p(4), p(1), p(27), p(30), lines=False)
    # Three overlapping colour swatches: the profile's gamut.
    for (cx, cy, col) in ((12, 12, RED), (19, 12, LIME), (15.5, 18, BLUE)):
        c.ring(p(cx), p(cy), max(p(5), 2), BLACK, inside=col)
    # The description: a line of text under the swatches.
    c.line(p(8), p(26), p(23), p(26), BLACK)
    c.line(p(8), p(28), p(18), p(28), GREY)
    return c


def rows_4bpp(canvas, transparent_as=BLACK):
    out = b""
    stride = ((canvas.w * 4 + 31) // 32) * 4
    for y in reversed(range(canvas.h)):
        row = bytearray()
        for x in range(0, canvas.w, 2):
            a = canvas.px[y][x]
            b = canvas.px[y][x + 1] if x + 1 < canvas.w else 0
            a = transparent_as if a is None else a
            b = transparent_as if b is None else b
            row.append((a << 4) | b)
        row += b"\0" * (stride - len(row))
        out += bytes(row)
    return out


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)


def write_bmp(path, canvas):
    pixels = rows_4bpp(canvas)
    info = struct.pack("<IiiHHIIiiII", 40, canvas.w, canvas.h, 1, 4, 0, len(pixels), 0, 0, 16, 0)
    offset = 14 + len(info) + 64
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(header + info + palette_bytes() + pixels)


def icon_resource(canvas):
    xor = rows_4bpp(canvas)
    mask = b""
    stride = ((canvas.w + 31) // 32) * 4
    for y in reversed(range(canvas.h)):
        bits = bytearray(stride)
        for x in range(canvas.w):
            if canvas.px[y][x] is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    info = struct.pack("<IiiHHIIiiII", 40, canvas.w, canvas.h * 2, 1, 4, 0, len(xor) + len(mask),
                       0, 0, 16, 0)
    return info + palette_bytes() + xor + mask


def write_ico(path, canvases):
    images = [icon_resource(c) for c in canvases]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for c, data in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.w, c.h, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    strip = Canvas(100, 20, SILVER)
    for i, draw in enumerate((open_image, save_image, cut_image, copy_image, paste_image)):
        strip.blit(draw(), 20 * i, 0)
    write_bmp("Toolbar.bmp", strip)
    write_ico("Tagwright.ico", [icon_image(32), icon_image(16)])
