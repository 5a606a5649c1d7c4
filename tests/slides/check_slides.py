#!/usr/bin/python3
"""Checks the eight slideshow pictures the copy-progress window loads as bitmap resources 135..142.

Usage: check_slides.py DIR [--regenerate GENERATOR]

The BMP headers are parsed here byte by byte, because the resource compiler and LoadImage accept exactly one layout
(24-bit, BI_RGB, bottom-up, 40-byte info header) and an image library would happily read others. With --regenerate,
GENERATOR is run once more into a scratch folder and every file must come out byte-identical.
Exits 1 with a message on the first fault, prints "8 slides ok" otherwise.
"""

import os
import struct
import subprocess
import sys
import tempfile

WIDTH, HEIGHT = 680, 420
FILE_HEADER = struct.Struct("<2sIHHI")
INFO_HEADER = struct.Struct("<IiiHHIIiiII")
PIXELS_AT = FILE_HEADER.size + INFO_HEADER.size

MARKER_COUNT = 7
MARKER_LEFT, MARKER_STEP, MARKER_TOP, MARKER_SIZE = 62, 38, 265, 10
PLAIN = (174, 174, 174)
HIGHLIGHT = (217, 72, 0)
WHITE = (255, 255, 255)

# Resource id -> dot shown highlighted (1-based). The window paints slide 6 from 142 and slide 7 from 141.
HIGHLIGHTED = {135: None, 136: 1, 137: 2, 138: 3, 139: 4, 140: 5, 142: 6, 141: 7}

# Left, top, right, bottom (exclusive) of the areas the progress texts and bar are drawn over.
WHITE_AREAS = ((0, 373, WIDTH, HEIGHT), (0, 346, 540, 373))
# The strip above each drawn screenshot, right of its caption: plain page, where a window's title bar would carry
# minimise, maximise and close buttons. The pictures show screens, not windows one could click.
NO_WINDOW_CONTROLS = (520, 62, 660, 74)


class Fault(Exception):
    pass


class Bitmap:
    def __init__(self, name, data):
        self.name = name
        if len(data) < PIXELS_AT:
            raise Fault("%s: %d bytes, too short for the BMP headers" % (name, len(data)))
        magic, file_size, _, _, offset = FILE_HEADER.unpack_from(data, 0)
        (info_size, width, height, planes, bits, compression, image_size, _, _, colours_used,
         _) = INFO_HEADER.unpack_from(data, FILE_HEADER.size)
        self.stride = (width * 3 + 3) & ~3 if width > 0 else 0
        expected = (
            ("signature", magic, b"BM"),
            ("info header size", info_size, 40),
            ("width", width, WIDTH),
            ("height (positive = bottom-up)", height, HEIGHT),
            ("planes", planes, 1),
            ("bits per pixel", bits, 24),
            ("compression", compression, 0),
            ("colours used", colours_used, 0),
            ("pixel data offset", offset, PIXELS_AT),
            ("file length", len(data), PIXELS_AT + self.stride * HEIGHT),
            ("file size field", file_size, len(data)),
        )
        for field, got, want in expected:
            if got != want:
                raise Fault("%s: %s is %r, expected %r" % (name, field, got, want))
        if image_size not in (0, self.stride * HEIGHT):
            raise Fault("%s: image size field is %d, expected 0 or %d" % (name, image_size, self.stride * HEIGHT))
        self.data = data

    def pixel(self, x, y):
        """RGB at (x, y), counted from the top-left corner."""
        at = PIXELS_AT + (HEIGHT - 1 - y) * self.stride + 3 * x
        b, g, r = self.data[at:at + 3]
        return r, g, b


def marker_rect(i):
    left = MARKER_LEFT + MARKER_STEP * i
    return left, MARKER_TOP, left + MARKER_SIZE, MARKER_TOP + MARKER_SIZE


def check_markers(bmp, highlighted):
    for i in range(MARKER_COUNT):
        left, top, right, bottom = marker_rect(i)
        want = HIGHLIGHT if highlighted == i + 1 else PLAIN
        centre = bmp.pixel(left + 5, top + 5)
        if centre != want:
            raise Fault("%s: dot %d centre (%d,%d) is %s, expected %s" % (bmp.name, i + 1, left + 5, top + 5,
                                                                           centre, want))
        if want != HIGHLIGHT:
            for y in range(top, bottom):
                for x in range(left, right):
                    if bmp.pixel(x, y) == HIGHLIGHT:
                        raise Fault("%s: highlight colour at (%d,%d) inside plain dot %d" % (bmp.name, x, y, i + 1))
        # The window repaints the dots on their own; anything of them outside the cell would show as a halo.
        ring = [(x, top - 1) for x in range(left - 1, right + 1)] + [(x, bottom) for x in range(left - 1, right + 1)]
        ring += [(left - 1, y) for y in range(top, bottom)] + [(right, y) for y in range(top, bottom)]
        background = bmp.pixel(*ring[0])
        for x, y in ring:
            got = bmp.pixel(x, y)
            if got != background or got in (PLAIN, HIGHLIGHT):
                raise Fault("%s: dot %d spills out of its cell at (%d,%d): %s next to %s" % (
                    bmp.name, i + 1, x, y, got, background))


def check_white(bmp):
    for left, top, right, bottom in WHITE_AREAS + (NO_WINDOW_CONTROLS,):
        for y in range(top, bottom):
            for x in range(left, right):
                got = bmp.pixel(x, y)
                if got != WHITE:
                    raise Fault("%s: (%d,%d) is %s, expected the white of the page (%s)" % (
                        bmp.name, x, y, got, "the progress area" if top >= 346 else "no window controls"))


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError as e:
        raise Fault("%s: %s" % (path, e.strerror or e))


def check_dir(folder):
    for resource, highlighted in sorted(HIGHLIGHTED.items()):
        name = "slide%d.bmp" % resource
        bmp = Bitmap(name, read(os.path.join(folder, name)))
        check_markers(bmp, highlighted)
        check_white(bmp)


def check_reproducible(folder, generator):
    with tempfile.TemporaryDirectory() as scratch:
        run = subprocess.run([sys.executable, generator, scratch], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if run.returncode != 0:
            raise Fault("%s failed (%d): %s" % (generator, run.returncode, run.stdout.decode(errors="replace")))
        for resource in sorted(HIGHLIGHTED):
            name = "slide%d.bmp" % resource
            if read(os.path.join(folder, name)) != read(os.path.join(scratch, name)):
                raise Fault("%s: a second run of %s wrote different bytes" % (name, generator))
        extra = sorted(set(os.listdir(scratch)) - {"slide%d.bmp" % r for r in HIGHLIGHTED})
        if extra:
            raise Fault("%s also wrote %s" % (generator, ", ".join(extra)))


def main(argv):
    args = argv[1:]
    generator = None
    if len(args) == 3 and args[1] == "--regenerate":
        generator = args[2]
        args = args[:1]
    if len(args) != 1:
        sys.stderr.write("usage: check_slides.py DIR [--regenerate GENERATOR]\n")
        return 2
    try:
        check_dir(args[0])
        if generator:
            check_reproducible(args[0], generator)
    except Fault as e:
        sys.stderr.write("check_slides: %s\n" % e)
        return 1
    print("%d slides ok" % len(HIGHLIGHTED))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
