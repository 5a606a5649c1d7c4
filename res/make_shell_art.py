#!/usr/bin/python3
"""Draws the shell's icon (autorun.ico) and tool bar strip (toolbar.bmp) into OUTDIR, reproducibly."""
import struct
import sys
from pathlib import Path

from PIL import Image, ImageDraw

TEAL = (0, 122, 140)
ORANGE = (217, 72, 0)
WHITE = (255, 255, 255)


def disc_icon(size):
    img = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    m = size // 16
    d.ellipse([m, m, size - 1 - m, size - 1 - m], fill=TEAL + (255,), outline=(0, 70, 80, 255))
    c = size // 2
    r = size // 8
    d.ellipse([c - r, c - r, c + r, c + r], fill=WHITE + (255,))
    # A tooth-like mark on the disc.
    t = size // 4
    d.rounded_rectangle([c - t, m + size // 8, c + t, c - r - 1], radius=max(1, size // 12), fill=WHITE + (255,))
    d.ellipse([c + r, c + r, c + r + size // 6, c + r + size // 6], fill=ORANGE + (255,))
    return img


def ico_entry(img):
    """A 32-bit BMP-format icon image: BITMAPINFOHEADER (double height), BGRA rows bottom-up, AND mask."""
    w, h = img.size
    px = img.load()
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        for x in range(w):
            r, g, b, a = px[x, y]
            xor += bytes((b, g, r, a))
    mask_stride = ((w + 31) // 32) * 4
    mask = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(mask_stride)
        for x in range(w):
            if px[x, y][3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def write_ico(path, images):
    entries = [ico_entry(i) for i in images]
    out = bytearray(struct.pack("<HHH", 0, 1, len(entries)))
    offset = 6 + 16 * len(entries)
    for img, data in zip(images, entries):
        w, h = img.size
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in entries:
        out += data
    Path(path).write_bytes(bytes(out))


def toolbar_strip():
    """Eight 16x15 glyphs: New, Open, Save, Cut, Copy, Paste, Print, About; grey background."""
    bg = (192, 192, 192)
    img = Image.new("RGB", (16 * 8, 15), bg)
    d = ImageDraw.Draw(img)
    k = (0, 0, 0)
    for i in range(8):
        x = 16 * i
        if i == 0:  # new
            d.rectangle([x + 3, 1, x + 11, 13], fill=WHITE, outline=k)
        elif i == 1:  # open
            d.rectangle([x + 1, 5, x + 13, 13], fill=(230, 190, 60), outline=k)
            d.rectangle([x + 1, 3, x + 6, 5], fill=(230, 190, 60), outline=k)
        elif i == 2:  # save
            d.rectangle([x + 2, 1, x + 13, 13], fill=TEAL, outline=k)
            d.rectangle([x + 4, 2, x + 11, 6], fill=WHITE)
        elif i == 3:  # cut
            d.line([x + 4, 1, x + 10, 10], fill=k)
            d.line([x + 11, 1, x + 5, 10], fill=k)
            d.ellipse([x + 2, 9, x + 6, 13], outline=k)
            d.ellipse([x + 9, 9, x + 13, 13], outline=k)
        elif i == 4:  # copy
            d.rectangle([x + 1, 1, x + 8, 9], fill=WHITE, outline=k)
            d.rectangle([x + 6, 5, x + 13, 13], fill=WHITE, outline=k)
        elif i == 5:  # paste
            d.rectangle([x + 2, 2, x + 11, 13], fill=(170, 120, 60), outline=k)
            d.rectangle([x + 6, 6, x + 13, 13], fill=WHITE, outline=k)
        elif i == 6:  # print
            d.rectangle([x + 1, 6, x + 14, 11], fill=(128, 128, 128), outline=k)
            d.rectangle([x + 4, 1, x + 11, 6], fill=WHITE, outline=k)
        else:  # about
            d.ellipse([x + 2, 1, x + 13, 12], fill=(0, 0, 160))
            d.line([x + 7, 5, x + 7, 10], fill=WHITE, width=2)
            d.point([(x + 7, 3), (x + 8, 3)], fill=WHITE)
    return img


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    write_ico(out / "autorun.ico", [disc_icon(32), disc_icon(16)])
    toolbar_strip().save(out / "toolbar.bmp", format="BMP")


if __name__ == "__main__":
    main()
