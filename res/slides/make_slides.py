#!/usr/bin/python3
"""Draw the eight pictures shown while the patient files are copied.

Usage: make_slides.py OUTDIR

Writes slide135.bmp .. slide142.bmp (24-bit, bottom-up, uncompressed) into OUTDIR. Everything is drawn from
primitives and the DejaVu fonts, and the BMP is written by hand, so the bytes only depend on this script,
Pillow's rasteriser and the font files: two runs on the same machine give identical files.
"""

import math
import os
import random
import struct
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

WIDTH, HEIGHT = 680, 420

# One dot per feature, each confined to its 10x10 cell; the progress window relies on their places and colours.
MARKER_COUNT = 7
MARKER_LEFT, MARKER_STEP, MARKER_TOP, MARKER_SIZE = 62, 38, 265, 10
MARKER_PLAIN = (174, 174, 174)
MARKER_HIGHLIGHT = (217, 72, 0)

FONT_DIR = "/usr/share/fonts/truetype/dejavu"
FONT_REGULAR = "DejaVuSans.ttf"
FONT_BOLD = "DejaVuSans-Bold.ttf"

PRODUCT = "Tovi Plus"
DISC_NAME = "Patient disc"
EDITION = "Disc Studio"
TITLE_LINE = "Preparing your patient's 3D data"
# Only the patient's data is copied; the viewer is already on this computer.
TITLE_NOTE = ("The patient's images are being copied", "to this computer. This takes a moment.")

# Names of the views inside the drawn screenshots.
VIEW_3D = "3D"
VIEW_AXIAL = "Axial"
VIEW_PANORAMIC = "Panoramic"
VIEW_SECTION = "Section %d"
EXPORTS = ("PDF", "Print", "Disc", "Send")

# Palette shared by all pictures.
WHITE = (255, 255, 255)
NAVY = (18, 40, 66)
NAVY_LIGHT = (36, 66, 100)
ORANGE = MARKER_HIGHLIGHT
TEXT = (70, 82, 98)
TEXT_SOFT = (128, 140, 155)
HEADER_SUB = (160, 185, 212)
CHROME = (236, 240, 245)
CHROME_EDGE = (206, 213, 222)
CHROME_TEXT = (84, 96, 112)
VIEW_BG = (16, 20, 26)
VIEW_BG2 = (30, 37, 46)
VIEW_LABEL = (150, 165, 182)
CYAN = (70, 190, 235)
YELLOW = (245, 200, 60)
NERVE = (236, 72, 96)
GREEN = (96, 210, 120)
BONE = (228, 216, 192)
TOOTH = (250, 248, 240)

# Layout of every picture.
HEADER_H = 44
COLUMN_X = 30
COLUMN_W = 296
HEADING_Y = 70
DESC_Y = 124
DESC_STEP = 21
# Left, top, right, bottom of the drawn screenshot, its caption included. Everything stays above row 346, where
# the progress texts and bar are drawn over the picture. The screenshot is a framed picture under a caption, not a
# window: a title bar with buttons would invite clicks that the progress window cannot answer.
PANEL = (346, 62, 656, 318)
CAPTION_H = 20

SS = 4  # supersampling factor of the drawn screenshots

# Resource id, dot it highlights (1-based), heading, description lines, screenshot title,
# and the name of the function drawing the screenshot. The program paints slide 6 from 142 and slide 7 from 141.
FEATURES = (
    (136, 1, "3D volume rendering",
     ("Turn the scan in any direction and see", "bone and teeth as a lifelike 3D model,",
      "with presets for every task."),
     "3D view", "draw_volume"),
    (137, 2, "Panoramic reconstruction",
     ("Trace the dental arch on an axial slice", "and get a sharp panoramic image along", "your own curve."),
     VIEW_PANORAMIC, "draw_panoramic_shot"),
    (138, 3, "Cross-sectional views",
     ("Step along the arch and read bone", "height and width on true cross-sections", "at every tooth."),
     "Cross-sections", "draw_cross_sections"),
    (139, 4, "Nerve canal tracing",
     ("Mark the mandibular canal with a few", "clicks and keep it in sight in every", "view of the case."),
     "Nerve canal", "draw_nerve"),
    (140, 5, "Implant planning",
     ("Choose implants from the built-in library,", "place them in 3D and check the distance", "to the canal."),
     "Implants", "draw_implant"),
    (142, 6, "Measurements",
     ("Measure lengths, angles and bone density", "right on the images, with results in",
      "millimetres and density values."),
     "Measure", "draw_measure"),
    (141, 7, "Reports and sharing",
     ("Save views and findings as a report, print", "it or share the case with your referring", "colleague."),
     "Report", "draw_report"),
)
TITLE_RESOURCE = 135


def font(name, size):
    # The basic layout keeps glyph placement independent of whether libraqm happens to be installed.
    return ImageFont.truetype(os.path.join(FONT_DIR, name), size, layout_engine=ImageFont.Layout.BASIC)


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def scale(c, f):
    return tuple(max(0, min(255, int(round(x * f)))) for x in c)


class Art:
    """A supersampled drawing surface: coordinates are given in output pixels, labels are drawn crisp at 1x."""

    def __init__(self, w, h, bg):
        self.w, self.h = w, h
        self.img = Image.new("RGB", (w * SS, h * SS), bg)
        self.draw = ImageDraw.Draw(self.img)
        self.labels = []

    @staticmethod
    def _p(points):
        return [(x * SS, y * SS) for x, y in points]

    def _box(self, box):
        x0, y0, x1, y1 = box
        return (x0 * SS, y0 * SS, x1 * SS - 1, y1 * SS - 1)

    def rect(self, box, fill=None, outline=None, width=1):
        self.draw.rectangle(self._box(box), fill=fill, outline=outline, width=int(width * SS) if outline else 0)

    def rrect(self, box, r, fill=None, outline=None, width=1):
        self.draw.rounded_rectangle(self._box(box), r * SS, fill=fill, outline=outline,
                                    width=int(width * SS) if outline else 0)

    def ellipse(self, box, fill=None, outline=None, width=1):
        self.draw.ellipse(self._box(box), fill=fill, outline=outline, width=int(width * SS) if outline else 0)

    def circle(self, cx, cy, r, fill=None, outline=None, width=1):
        self.ellipse((cx - r, cy - r, cx + r, cy + r), fill, outline, width)

    def poly(self, points, fill=None, outline=None):
        self.draw.polygon(self._p(points), fill=fill, outline=outline)

    def line(self, points, fill, width=1.0):
        self.draw.line(self._p(points), fill=fill, width=max(1, int(round(width * SS))), joint="curve")

    def dashed(self, points, fill, width=1.0, dash=4.0, gap=3.0):
        """Dashes follow the path length, so curves get even dashes."""
        on, left, pen = True, dash, []
        for (x0, y0), (x1, y1) in zip(points, points[1:]):
            seg = math.hypot(x1 - x0, y1 - y0)
            pos = 0.0
            while seg - pos > 1e-9:
                step = min(left, seg - pos)
                t0, t1 = pos / seg, (pos + step) / seg
                if on:
                    pen.append(((x0 + (x1 - x0) * t0, y0 + (y1 - y0) * t0), (x0 + (x1 - x0) * t1, y0 + (y1 - y0) * t1)))
                pos += step
                left -= step
                if left <= 1e-9:
                    on = not on
                    left = dash if on else gap
        for a, b in pen:
            self.line([a, b], fill, width)

    def vgradient(self, box, top, bottom):
        x0, y0, x1, y1 = [v * SS for v in box]
        for y in range(int(y0), int(y1)):
            self.draw.line([(x0, y), (x1 - 1, y)], fill=mix(top, bottom, (y - y0) / max(1, y1 - y0 - 1)))

    def blur(self, radius):
        self.img = self.img.filter(ImageFilter.GaussianBlur(radius * SS))
        self.draw = ImageDraw.Draw(self.img)

    def paste(self, other, x, y):
        self.img.paste(other.img, (x * SS, y * SS))
        self.labels.extend((lx + x, ly + y, t, f, c, a) for lx, ly, t, f, c, a in other.labels)

    def label(self, x, y, text, fnt, fill, anchor="la"):
        self.labels.append((x, y, text, fnt, fill, anchor))

    def finish(self):
        img = self.img.reduce(SS)
        d = ImageDraw.Draw(img)
        for x, y, text, fnt, fill, anchor in self.labels:
            d.text((x, y), text, font=fnt, fill=fill, anchor=anchor)
        return img


F_LABEL = font(FONT_REGULAR, 10)
F_LABEL_B = font(FONT_BOLD, 10)
F_SMALL = font(FONT_REGULAR, 9)


def tag(art, x, y, text, fnt, colour):
    """Label on a dark backing, readable over bright bone and crossing lines."""
    width = ImageDraw.Draw(Image.new("RGB", (1, 1))).textlength(text, font=fnt)
    art.rrect((x - 3, y - 2, x + width + 3, y + 13), 3, fill=(10, 12, 16))
    art.label(x, y, text, fnt, colour)


def view_label(art, text, x=6, y=5):
    tag(art, x, y, text, F_LABEL, VIEW_LABEL)


# ----------------------------------------------------------------------------------------------------------------
# Anatomy, in the coordinates of the view it is drawn into.

def arch_point(cx, cy, a, b, phi, off=0.0):
    """Point on an elliptic dental arch seen from above (front teeth at the top), moved `off` outwards."""
    x, y = cx + a * math.sin(phi), cy - b * math.cos(phi)
    nx, ny = b * math.sin(phi), -a * math.cos(phi)
    n = math.hypot(nx, ny)
    return x + off * nx / n, y + off * ny / n


# Relative tooth widths from the midline back: incisors, canine, premolars, molars.
TOOTH_WIDTHS = (0.8, 0.7, 0.85, 0.8, 0.8, 1.2, 1.15, 1.05)


def tooth_slots(count=8):
    """Fractions 0..1 of half an arch at which the teeth of one side sit, and their relative widths."""
    widths = TOOTH_WIDTHS[:count]
    total = sum(widths)
    pos, out = 0.0, []
    for w in widths:
        out.append(((pos + w / 2) / total, w / total))
        pos += w
    return out


def draw_axial(art, cx, cy, a, b, span=1.75):
    """Axial CT slice at the level of the lower teeth: soft tissue, tongue, bone band with cortex, teeth."""
    art.ellipse((cx - a * 1.6, cy - b * 1.4, cx + a * 1.6, cy + b * 1.3), fill=(46, 50, 56))
    art.ellipse((cx - a * 0.62, cy - b * 0.55, cx + a * 0.62, cy + b * 0.75), fill=(62, 66, 72))
    n = 60
    phis = [-span + 2 * span * i / n for i in range(n + 1)]

    def band(off_out, off_in, fill):
        art.poly([arch_point(cx, cy, a, b, p, off_out) for p in phis] +
                 [arch_point(cx, cy, a, b, p, off_in) for p in reversed(phis)], fill=fill)

    band(10, -10, (200, 196, 186))
    band(7.5, -7.5, (120, 118, 112))
    rng = random.Random(7)
    for _ in range(200):
        x, y = arch_point(cx, cy, a, b, rng.uniform(-span, span), rng.uniform(-6.5, 6.5))
        art.circle(x, y, rng.uniform(0.5, 1.1), fill=(156, 152, 144))
    # Teeth cut across: enamel ring, dentine and pulp, as long as their share of the arch.
    arc = 0.0
    prev = arch_point(cx, cy, a, b, 0)
    lengths = []
    for i in range(1, 401):
        cur = arch_point(cx, cy, a, b, span * 0.95 * i / 400)
        arc += math.dist(prev, cur)
        lengths.append((arc, span * 0.95 * i / 400))
        prev = cur
    pos = 0.0
    total = sum(TOOTH_WIDTHS)
    for k, tw in enumerate(TOOTH_WIDTHS):
        width = tw / total * arc
        for side in (-1, 1):
            target = pos + width / 2
            phi = side * next(p for s_, p in lengths if s_ >= target)
            x, y = arch_point(cx, cy, a, b, phi)
            tx, ty = math.cos(phi) * a, math.sin(phi) * b
            tl = math.hypot(tx, ty)
            tx, ty = tx / tl, ty / tl
            depth = (5.5, 6.0, 7.5, 7.5, 8.0, 9.0, 9.0, 8.5)[k]
            for scale_, col in ((1.0, (236, 234, 226)), (0.72, (200, 198, 190)), (0.22, (84, 82, 80))):
                pts = []
                for j in range(20):
                    ang = 2 * math.pi * j / 20
                    u = math.cos(ang) * (width * 0.46) * scale_
                    v = math.sin(ang) * depth * scale_
                    pts.append((x + u * tx - v * ty, y + u * ty + v * tx))
                art.poly(pts, fill=col)
        pos += width
    art.blur(0.45)


def occlusal_y(x, x0, w, y_mid, smile):
    u = (x - x0) / w * 2 - 1
    return y_mid - smile * u * u


def xray_tooth(art, xc, yo, up, width, crown, root, molar, tilt):
    """One tooth of a panoramic image. Local v runs from the biting edge at (xc, yo) towards the apex, in
    direction `up` (+1 down the image), u across the tooth; the tooth is turned by `tilt` radians."""
    ct, st = math.cos(tilt), math.sin(tilt)

    def p(u, v):
        v *= up
        return xc + u * ct - v * st, yo + u * st + v * ct

    neck = width * 0.36
    roots = ((-0.3, 0.17, -0.08), (0.3, 0.17, 0.08)) if molar else ((0.0, neck / width, 0.0),)
    for centre, half, lean in roots:
        pts = []
        for side in (-1, 1):
            for j in range(6):
                t = j / 5
                v = crown * 0.8 + root * t * 0.92
                cu = centre * width * (0.6 + 0.4 * t) + lean * root * t
                pts.append((cu + side * half * width * (1 - 0.65 * t), v))
            if side == -1:
                pts.append((cu, crown + root))
        left = pts[:7]
        right = pts[7:]
        outline = left + list(reversed(right))
        art.poly([p(u * 1.12, v + 0.6) for u, v in outline], fill=(72, 72, 70))
        art.poly([p(u, v) for u, v in outline], fill=(172, 170, 162))
        art.line([p(centre * width * 0.6, crown * 0.55), p(centre * width + lean * root, crown + root * 0.85)],
                 fill=(132, 130, 124), width=0.9)
    # Crown: narrow neck, widest a little below the biting edge; molars get two cusps.
    rim = []
    steps = 8
    for j in range(steps + 1):
        t = j / steps
        u = -width / 2 + width * t
        bump = (0.12 * crown * abs(math.sin(t * 2 * math.pi))) if molar else 0.05 * crown * math.sin(t * math.pi)
        rim.append((u, crown * 0.12 - bump))
    body = [(-neck, crown), (-width * 0.5, crown * 0.45)] + rim + [(width * 0.5, crown * 0.45), (neck, crown)]
    art.poly([p(u, v) for u, v in body], fill=(214, 212, 204))
    enamel = ([(-width * 0.46, crown * 0.5)] + [(u * 0.94, v + crown * 0.04) for u, v in rim] +
              [(width * 0.46, crown * 0.5)])
    art.poly([p(u, v) for u, v in enamel], fill=(242, 241, 236))
    art.poly([p(-width * 0.12, crown * 0.45), p(width * 0.12, crown * 0.45), p(width * 0.06, crown * 1.0),
              p(-width * 0.06, crown * 1.0)], fill=(170, 168, 160))


def draw_panoramic(art, box, canal=False, rng_seed=3):
    """Panoramic X-ray of both jaws into box: skull base, sinuses, rami, 28 teeth and optionally the canals."""
    x0, y0, x1, y1 = box
    w, h = x1 - x0, y1 - y0
    art.rect(box, fill=(12, 13, 16))
    ymid = y0 + h * 0.50
    smile = h * 0.08

    def occ(x):
        return occlusal_y(x, x0, w, ymid, smile)

    n = 48
    xs = [x0 + w * i / n for i in range(n + 1)]
    # Skull and soft tissue haze, darker towards the top corners.
    art.ellipse((x0 - w * 0.1, y0 - h * 0.35, x1 + w * 0.1, y1 + h * 0.1), fill=(42, 43, 46))
    art.ellipse((x0 + w * 0.06, y0 - h * 0.2, x1 - w * 0.06, y1 - h * 0.05), fill=(66, 66, 66))
    # Maxilla with the hard palate line, nasal cavity and sinuses above it.
    art.poly([(x0 + w * 0.12, occ(x0 + w * 0.12) - 2)] +
             [(x, occ(x) - h * 0.36) for x in xs if x0 + w * 0.12 <= x <= x1 - w * 0.12] +
             [(x1 - w * 0.12, occ(x1 - w * 0.12) - 2)], fill=(104, 103, 100))
    palate = [(x, occ(x) - h * 0.37 - h * 0.03 * math.cos((x - x0) / w * 2 * math.pi)) for x in xs
              if x0 + w * 0.1 <= x <= x1 - w * 0.1]
    art.line(palate, fill=(176, 174, 166), width=2.2)
    art.ellipse((x0 + w * 0.41, y0 - h * 0.1, x1 - w * 0.41, y0 + h * 0.12), fill=(30, 31, 34))
    for side in (0, 1):
        sx = x0 + w * (0.27 if side == 0 else 0.73)
        art.ellipse((sx - w * 0.1, y0 - h * 0.05, sx + w * 0.1, y0 + h * 0.13), fill=(46, 47, 50))
    # Mandible: body with its bright lower border, rami rising at both ends to condyle and coronoid.
    lower = [(x, occ(x) + h * 0.38 - h * 0.1 * ((x - x0) / w * 2 - 1) ** 4) for x in xs]
    art.poly([(x, occ(x) + 2) for x in xs] + list(reversed(lower)), fill=(116, 114, 108))
    for side in (0, 1):
        def sx(f):
            return x0 + w * f if side == 0 else x1 - w * f
        art.poly([(sx(0.0), lower[0][1] - h * 0.02), (sx(0.06), lower[0][1] + h * 0.02), (sx(0.16), occ(sx(0.16))),
                  (sx(0.15), y0 + h * 0.22), (sx(0.115), y0 + h * 0.1), (sx(0.095), y0 + h * 0.2),
                  (sx(0.07), y0 + h * 0.16), (sx(0.035), y0 + h * 0.05), (sx(0.0), y0 + h * 0.12)],
                 fill=(110, 108, 102))
        art.ellipse((sx(0.035) - w * 0.024, y0 + h * 0.01, sx(0.035) + w * 0.024, y0 + h * 0.1), fill=(150, 148, 140))
    art.line(lower, fill=(206, 202, 192), width=2.0)
    rng = random.Random(rng_seed)
    for _ in range(260):
        x = rng.uniform(x0 + w * 0.12, x1 - w * 0.12)
        y = rng.uniform(occ(x) - h * 0.34, occ(x) + h * 0.34)
        art.circle(x, y, rng.uniform(0.4, 0.9), fill=(142, 140, 134))
    if canal:
        draw_canal_shadow(art, box)
    # Teeth: crowns meet along the occlusal curve, roots run into the bone.
    slots = tooth_slots(7)
    for side in (-1, 1):
        for k, (f, tw) in enumerate(slots):
            xc = x0 + w / 2 + side * f * w * 0.37
            width = tw * w * 0.37 * 0.96
            u = (xc - x0) / w * 2 - 1
            # Teeth stand square to the occlusal curve, fanning out towards the back.
            tilt = math.atan(-2 * smile * u / (w / 2))
            for up in (-1, 1):
                molar = k >= 5
                crown = h * (0.12 if molar else 0.14)
                root = h * (0.17 if molar else (0.23 if k == 2 else 0.19))
                xray_tooth(art, xc, occ(xc) + up * 0.8, up, width, crown, root, molar, tilt)
    art.blur(0.6)
    return occ


def canal_path(box, steps=40):
    """Course of the left and right mandibular canal in a panoramic view of box."""
    x0, y0, x1, y1 = box
    w, h = x1 - x0, y1 - y0
    paths = []
    for side in (0, 1):
        pts = []
        for i in range(steps + 1):
            t = i / steps
            u = 0.08 + 0.32 * t  # from the ramus towards the mental foramen
            x = x0 + w * (u if side == 0 else 1 - u)
            y = y0 + h * (0.55 + 0.24 * math.sin(t * math.pi * 0.62) - 0.02 * t)
            pts.append((x, y))
        paths.append(pts)
    return paths


def draw_canal_shadow(art, box):
    for pts in canal_path(box):
        art.line(pts, fill=(70, 70, 68), width=3.2)
        art.line(pts, fill=(160, 158, 150), width=0.8)


def section_outline(cx, top, w, hgt, tilt=0.12, n=24):
    """Cross-section of the lower jaw: narrow crest at the top, wide rounded base."""
    left, right = [], []
    for i in range(n + 1):
        t = i / n
        half = w * (0.22 + 0.28 * math.sin(min(1.0, t * 1.25) * math.pi / 2))
        y = top + hgt * t * 0.78
        shift = tilt * w * t
        left.append((cx - half + shift, y))
        right.append((cx + half + shift, y))
    base = []
    cxb, rb = cx + tilt * w, w * 0.5
    for i in range(1, 12):
        ang = math.pi * i / 12
        base.append((cxb - rb * math.cos(ang), top + hgt * 0.78 + hgt * 0.22 * math.sin(ang)))
    return left + base + list(reversed(right))


def draw_section(art, cx, top, w, hgt, tooth=True, canal=True, seed=5):
    """Bone cross-section with cortex, trabecular texture, optional tooth and canal. Returns the canal centre."""
    outer = section_outline(cx, top, w, hgt)
    art.poly(outer, fill=(214, 208, 194))
    inner = section_outline(cx, top + hgt * 0.05, w * 0.8, hgt * 0.9)
    art.poly(inner, fill=(124, 122, 116))
    rng = random.Random(seed)
    for _ in range(70):
        x = cx + rng.uniform(-0.3, 0.35) * w
        y = top + hgt * rng.uniform(0.12, 0.92)
        art.circle(x, y, rng.uniform(0.4, 1.2), fill=(154, 150, 142))
    canal_c = (cx + w * 0.1, top + hgt * 0.72)
    if canal:
        r = w * 0.085
        art.circle(canal_c[0], canal_c[1], r * 1.25, fill=(176, 172, 162))
        art.circle(canal_c[0], canal_c[1], r, fill=(52, 52, 52))
    if tooth:
        tw = w * 0.36
        ct = top - hgt * 0.2
        art.poly([(cx - tw * 0.3, top + hgt * 0.02), (cx + tw * 0.3, top + hgt * 0.02),
                  (cx + tw * 0.08, top + hgt * 0.48), (cx - tw * 0.08, top + hgt * 0.48)], fill=(186, 182, 172))
        art.rrect((cx - tw / 2, ct, cx + tw / 2, top + hgt * 0.06), tw * 0.3, fill=(238, 236, 230))
        art.line([(cx, ct + hgt * 0.08), (cx, top + hgt * 0.44)], fill=(110, 108, 104), width=0.9)
    art.blur(0.35)
    return canal_c


def draw_implant_body(art, cx, top, length, diam, tilt_deg=0.0):
    """Threaded, slightly tapered implant with a metallic sheen, optionally tilted around its neck."""
    ang = math.radians(tilt_deg)
    ca, sa = math.cos(ang), math.sin(ang)

    def tr(x, y):
        return cx + x * ca - y * sa, top + x * sa + y * ca

    def half(y):
        return diam / 2 * (1.0 - 0.22 * (y / length) ** 2)

    strips = 12
    for i in range(strips):
        u0, u1 = -1 + 2 * i / strips, -1 + 2 * (i + 1) / strips
        shade = 0.55 + 0.45 * math.cos((u0 + u1) / 2 * 1.3 - 0.5)
        col = mix((88, 96, 110), (236, 242, 248), shade)
        pts = []
        for k in range(21):
            y = length * 0.08 + (length * 0.86) * k / 20
            pts.append(tr(u0 * half(y), y))
        for k in range(20, -1, -1):
            y = length * 0.08 + (length * 0.86) * k / 20
            pts.append(tr(u1 * half(y), y))
        art.poly(pts, fill=col)
    # Apex, threads and collar.
    apex_y = length * 0.94
    art.poly([tr(-half(apex_y), apex_y), tr(half(apex_y), apex_y), tr(half(apex_y) * 0.55, length),
              tr(-half(apex_y) * 0.55, length)], fill=(150, 158, 170))
    pitch = length / 12
    y = length * 0.16
    while y < length * 0.9:
        hw = half(y) * 1.08
        art.line([tr(-hw, y), tr(hw, y + pitch * 0.35)], fill=(70, 78, 92), width=0.8)
        y += pitch
    art.poly([tr(-diam * 0.52, 0), tr(diam * 0.52, 0), tr(diam * 0.5, length * 0.09), tr(-diam * 0.5, length * 0.09)],
             fill=(204, 212, 222))
    art.poly([tr(-diam * 0.3, -length * 0.07), tr(diam * 0.3, -length * 0.07), tr(diam * 0.34, 0), tr(-diam * 0.34, 0)],
             fill=(168, 176, 188))
    return tr


# ----------------------------------------------------------------------------------------------------------------
# 3D rendering of the jaws: a tiny polygon renderer with flat shading and painter's ordering.

class Camera:
    """Yaw around the vertical axis, then pitch, then a mild perspective; the viewer looks along -z."""

    def __init__(self, yaw, pitch, zoom, cx, cy, distance=16.0):
        self.cy_, self.sy_ = math.cos(math.radians(yaw)), math.sin(math.radians(yaw))
        self.cp_, self.sp_ = math.cos(math.radians(pitch)), math.sin(math.radians(pitch))
        self.zoom, self.cx, self.cy, self.distance = zoom, cx, cy, distance

    def view(self, p):
        x, y, z = p
        x, z = x * self.cy_ + z * self.sy_, -x * self.sy_ + z * self.cy_
        y, z = y * self.cp_ - z * self.sp_, y * self.sp_ + z * self.cp_
        return x, y, z

    def screen(self, p):
        x, y, z = self.view(p)
        f = self.zoom * self.distance / (self.distance - z)
        return self.cx + x * f, self.cy - y * f, z


LIGHT = (-0.42, 0.62, 0.66)
FILL_LIGHT = (0.7, -0.1, 0.7)


def sub3(a, b):
    return a[0] - b[0], a[1] - b[1], a[2] - b[2]


def cross(a, b):
    return a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def unit(v):
    n = math.sqrt(dot(v, v)) or 1.0
    return v[0] / n, v[1] / n, v[2] / n


class Mesh:
    """Faces with an outward normal, a base colour and a shininess."""

    def __init__(self):
        self.faces = []

    def add(self, pts, inside, colour, shine=0.25):
        """Adds a face, orienting its normal away from the point `inside`."""
        n = unit(cross(sub3(pts[2], pts[0]), sub3(pts[-1], pts[1]) if len(pts) > 3 else sub3(pts[1], pts[0])))
        c = tuple(sum(p[i] for p in pts) / len(pts) for i in range(3))
        if dot(n, sub3(c, inside)) < 0:
            n = (-n[0], -n[1], -n[2])
        self.faces.append((pts, n, colour, shine))

    def sweep(self, rings, centres, colour, shine=0.25):
        """Quads between consecutive closed rings of points, each ring around its centre."""
        for k in range(len(rings) - 1):
            r0, r1 = rings[k], rings[k + 1]
            inside = tuple((centres[k][i] + centres[k + 1][i]) / 2 for i in range(3))
            m = len(r0)
            for j in range(m):
                self.add([r0[j], r0[(j + 1) % m], r1[(j + 1) % m], r1[j]], inside, colour, shine)

    def render(self, art, cam):
        light, fill = unit(LIGHT), unit(FILL_LIGHT)
        polys = []
        for pts, n, colour, shine in self.faces:
            vn = cam.view(n)
            if vn[2] <= 0.0:
                continue
            key = max(0.0, dot(vn, light))
            rim = max(0.0, dot(vn, fill)) * 0.25
            lit = 0.22 + 0.78 * key + rim
            # Blinn-style highlight with the half vector between the light and the viewer.
            h = unit((light[0], light[1], light[2] + 1.0))
            highlight = max(0.0, dot(vn, h)) ** 18 * shine
            col = mix(scale(colour, lit), (255, 255, 255), highlight)
            scr = [cam.screen(p) for p in pts]
            polys.append((sum(s[2] for s in scr) / len(scr), [(s[0], s[1]) for s in scr], col))
        polys.sort(key=lambda t: t[0])
        for _, pts, col in polys:
            art.poly(pts, fill=col)


class Arch:
    """Dental arch seen from above, x to the right, z towards the face; phi 0 at the front teeth."""

    def __init__(self, a, b, span):
        self.a, self.b, self.span = a, b, span

    def at(self, phi, off, y):
        x, z = self.a * math.sin(phi), self.b * math.cos(phi)
        nx, nz = unit((self.b * math.sin(phi), 0.0, self.a * math.cos(phi)))[::2]
        return x + off * nx, y, z + off * nz

    def frame(self, phi):
        """Outward normal and the tangent pointing towards the back of the mouth on this side."""
        n = unit((self.b * math.sin(phi), 0.0, self.a * math.cos(phi)))
        t = unit((self.a * math.cos(phi), 0.0, -self.b * math.sin(phi)))
        side = 1.0 if phi >= 0 else -1.0
        return n, (t[0] * side, 0.0, t[2] * side)

    def length(self, p0, p1, steps=200):
        total, prev = 0.0, self.at(p0, 0, 0)
        for i in range(1, steps + 1):
            cur = self.at(p0 + (p1 - p0) * i / steps, 0, 0)
            total += math.dist(prev, cur)
            prev = cur
        return total

    def phi_at_length(self, s, steps=400):
        """Angle at arc length s from the midline (positive s to the right)."""
        sign = 1.0 if s >= 0 else -1.0
        s, acc, prev = abs(s), 0.0, self.at(0, 0, 0)
        for i in range(1, steps + 1):
            phi = self.span * i / steps
            cur = self.at(phi, 0, 0)
            acc += math.dist(prev, cur)
            if acc >= s:
                return sign * phi
            prev = cur
        return sign * self.span


def bone_profile(y_crest, height, crest_w, base_w, down, m=18):
    """Closed ring of (outward offset, height) around a jaw cross-section; `down` is -1 for the lower jaw."""
    pts = []
    for j in range(m):
        ang = 2 * math.pi * j / m
        c, s = math.cos(ang), math.sin(ang)
        # Superellipse: flat sides, rounded base; narrower towards the crest.
        u = math.copysign(abs(c) ** 0.7, c)
        v = math.copysign(abs(s) ** 0.8, s)
        t = (1 - v * down) / 2  # 0 at the crest, 1 at the base
        half = crest_w + (base_w - crest_w) * min(1.0, t * 1.6)
        pts.append((u * half / 2, y_crest + down * height * t))
    return pts


def ellipse_ring(centre, ax_u, ax_n, hu, hn, y, m=14):
    return [(centre[0] + ax_u[0] * hu * math.cos(2 * math.pi * j / m) + ax_n[0] * hn * math.sin(2 * math.pi * j / m), y,
             centre[2] + ax_u[2] * hu * math.cos(2 * math.pi * j / m) + ax_n[2] * hn * math.sin(2 * math.pi * j / m))
            for j in range(m)]


def stacked(mesh, levels, place, colour, shine, cap=True):
    """Solid built from horizontal elliptic rings; place(t) gives (centre, half width, half thickness, height)."""
    rings, centres = [], []
    for i in range(levels + 1):
        centre, ax_u, ax_n, hu, hn, y = place(i / levels)
        rings.append(ellipse_ring(centre, ax_u, ax_n, hu, hn, y))
        centres.append((centre[0], y, centre[2]))
    mesh.sweep(rings, centres, colour, shine)
    if cap:
        mesh.add(rings[-1], centres[-1], colour, shine)


def ramus(mesh, arch, side):
    """Ramus rising behind the last molar: a broad plate, the condyle with its head and the coronoid process."""
    phi = side * arch.span
    n, back = arch.frame(phi)
    root = arch.at(phi, 0.04, 0)

    def at(u, flare):
        return (root[0] + back[0] * u + n[0] * flare, 0.0, root[2] + back[2] * u + n[2] * flare)

    def plate(t):
        y = -1.38 + t * 2.55
        front = -0.4 + 0.45 * min(1.0, t * 1.6)
        rear = 0.95 + 0.35 * math.sin(min(1.0, t * 1.5) * math.pi / 2)
        return at((front + rear) / 2, 0.1 + 0.45 * t), back, n, (rear - front) / 2, 0.2 - 0.06 * t, y

    def condyle(t):
        return at(1.12 + 0.06 * t, 0.55 + 0.05 * t), back, n, 0.16, 0.12 + 0.06 * t, 1.1 + t * 0.75

    def coronoid(t):
        return at(0.3 + 0.08 * t, 0.55), back, n, 0.32 * (1 - t) + 0.03, 0.12 - 0.06 * t, 1.1 + t * 0.85

    stacked(mesh, 12, plate, scale(BONE, 0.97), 0.1, cap=False)
    stacked(mesh, 5, condyle, BONE, 0.1, cap=False)
    stacked(mesh, 6, coronoid, BONE, 0.1)
    # Condyle head: a small ellipsoid, longest from side to side.
    head = at(1.18, 0.6)
    stacked(mesh, 8, lambda t: (head, back, n, 0.2 * math.sin(math.pi * (0.06 + 0.88 * t)) ** 0.8,
                                0.32 * math.sin(math.pi * (0.06 + 0.88 * t)) ** 0.8, 1.72 + 0.4 * t), BONE, 0.15)


def jaw_mesh():
    """Lower jaw with its teeth, in centimetres-ish units; crest of the bone at height 0."""
    mesh = Mesh()
    low = Arch(2.25, 2.55, 1.62)
    steps = 44
    profile = bone_profile(-0.1, 1.3, 0.62, 0.86, -1)
    rings, centres = [], []
    for k in range(steps + 1):
        phi = -low.span + 2 * low.span * k / steps
        rings.append([low.at(phi, o, y) for o, y in profile])
        centres.append(low.at(phi, 0, -0.75))
    mesh.sweep(rings, centres, BONE, 0.12)
    for k in (0, steps):
        mesh.add(rings[k], low.at(0, 0, 0), scale(BONE, 0.92), 0.05)
    for side in (-1, 1):
        ramus(mesh, low, side)
    # Teeth: rounded crowns along the arch; molars wide and low, incisors thin and tall.
    half_len = low.length(0, low.span * 0.97)
    pos = 0.0
    for k, w in enumerate(TOOTH_WIDTHS):
        width = w / sum(TOOTH_WIDTHS) * half_len
        for side in (-1, 1):
            phi = low.phi_at_length(side * (pos + width / 2))
            tooth(mesh, low, phi, width * 0.92, k, -0.14, 1)
        pos += width
    return mesh


def tooth(mesh, arch, phi, width, kind, y0, direction):
    """Crown as a stack of superelliptic rings narrowing towards the biting edge."""
    depth = (0.32, 0.36, 0.5, 0.54, 0.56, 0.66, 0.64, 0.6)[kind]
    height = (0.7, 0.66, 0.74, 0.64, 0.62, 0.58, 0.56, 0.54)[kind]
    n, back = arch.frame(phi)
    centre = arch.at(phi, 0, y0)
    rings, centres = [], []
    levels = 7
    around = 14
    for i in range(levels + 1):
        t = i / levels
        r = (1 - t ** 3) ** (1 / 3) if i < levels else 0.15
        bulge = 1.0 + 0.12 * math.sin(t * math.pi * 0.9)
        ring = []
        y = centre[1] + direction * height * t
        for j in range(around):
            ang = 2 * math.pi * j / around
            c, s = math.cos(ang), math.sin(ang)
            u = math.copysign(abs(c) ** 0.6, c) * width / 2 * r * bulge
            v = math.copysign(abs(s) ** 0.6, s) * depth / 2 * r * bulge
            ring.append((centre[0] + back[0] * u + n[0] * v, y, centre[2] + back[2] * u + n[2] * v))
        rings.append(ring)
        centres.append((centre[0], centre[1] + direction * height * 0.45, centre[2]))
    mesh.sweep(rings, centres, TOOTH, 0.55)
    mesh.add(rings[-1], centres[-1], TOOTH, 0.55)


def draw_jaws(art, cx, cy, zoom, yaw, pitch):
    cam = Camera(yaw, pitch, zoom, cx, cy)
    jaw_mesh().render(art, cam)
    return cam


def orientation_cube(art, x, y, size, yaw=28.0, pitch=14.0):
    cam = Camera(yaw, pitch, size, x, y)
    faces = [((0, 0, 1), (206, 110, 70)), ((1, 0, 0), (92, 150, 210)), ((-1, 0, 0), (92, 150, 210)),
             ((0, 1, 0), (110, 190, 130)), ((0, 0, -1), (206, 110, 70))]
    drawn = []
    for n, col in faces:
        vn = cam.view(n)
        if vn[2] <= 0:
            continue
        # Square face centred at n*0.5 spanned by the two other axes.
        ax = [i for i in range(3) if n[i] == 0]
        pts = []
        for s1, s2 in ((-1, -1), (1, -1), (1, 1), (-1, 1)):
            p = [n[0] * 0.5, n[1] * 0.5, n[2] * 0.5]
            p[ax[0]] = s1 * 0.5
            p[ax[1]] = s2 * 0.5
            sx, sy, _ = cam.screen(tuple(p))
            pts.append((sx, sy))
        drawn.append((vn[2], pts, scale(col, 0.6 + 0.4 * vn[2])))
    for _, pts, col in sorted(drawn, key=lambda t: t[0]):
        art.poly(pts, fill=col, outline=(20, 24, 30))


# ----------------------------------------------------------------------------------------------------------------
# Screenshots. Each gets an Art the size of the viewport and draws into it.

def viewport_bg(art):
    art.vgradient((0, 0, art.w, art.h), VIEW_BG2, VIEW_BG)


def split(art, boxes):
    """Gaps between sub-views of a layout, in the chrome colour of the viewer."""
    for x0, y0, x1, y1 in boxes:
        art.rect((x0, y0, x1, y1), fill=(46, 54, 64))


def draw_volume(art):
    viewport_bg(art)
    art.ellipse((60, 30, 250, 220), fill=(34, 44, 58))
    art.blur(14)
    draw_jaws(art, art.w * 0.54, art.h * 0.47, 31, 35, 30)
    orientation_cube(art, art.w - 26, 26, 16)
    # Transfer function: histogram with the opacity ramp the render is using.
    x0, y0, x1, y1 = 12, art.h - 40, 122, art.h - 12
    art.rect((x0, y0, x1, y1), fill=(10, 12, 16), outline=(70, 80, 94))
    rng = random.Random(11)
    for i in range(54):
        x = x0 + 2 + i * 2
        v = math.exp(-((i - 14) / 7.0) ** 2) * 0.9 + math.exp(-((i - 38) / 9.0) ** 2) * 0.45 + rng.uniform(0, 0.08)
        art.line([(x, y1 - 2), (x, y1 - 2 - v * (y1 - y0 - 6))], fill=(90, 104, 122), width=1.2)
    art.line([(x0 + 2, y1 - 3), (x0 + 56, y1 - 4), (x0 + 84, y0 + 5), (x1 - 2, y0 + 4)], fill=ORANGE, width=1.4)
    for px, py in ((x0 + 56, y1 - 4), (x0 + 84, y0 + 5)):
        art.circle(px, py, 2.2, fill=WHITE, outline=ORANGE, width=1)
    view_label(art, VIEW_3D + "  \u00b7  Bone preset")


def draw_panoramic_shot(art):
    viewport_bg(art)
    top_h = 124
    ax = Art(art.w, top_h, (14, 16, 20))
    cx, cy, a, b = ax.w / 2, top_h * 0.60, 92, 66
    draw_axial(ax, cx, cy, a, b)
    span = 1.62
    curve = [arch_point(cx, cy, a, b, -span + 2 * span * i / 40) for i in range(41)]
    for off in (-12, 12):
        ax.dashed([arch_point(cx, cy, a, b, -span + 2 * span * i / 40, off) for i in range(41)], CYAN, 0.8, 3, 3)
    ax.line(curve, ORANGE, 1.6)
    for i in range(0, 41, 8):
        x, y = curve[i]
        ax.circle(x, y, 2.6, fill=WHITE, outline=ORANGE, width=1.2)
    view_label(ax, VIEW_AXIAL)
    art.paste(ax, 0, 0)
    split(art, [(0, top_h, art.w, top_h + 2)])
    pano = Art(art.w, art.h - top_h - 2, (14, 16, 20))
    draw_panoramic(pano, (0, 0, pano.w, pano.h))
    view_label(pano, VIEW_PANORAMIC)
    art.paste(pano, 0, top_h + 2)


def draw_cross_sections(art):
    viewport_bg(art)
    top_h = 92
    pano = Art(art.w, top_h, (14, 16, 20))
    draw_panoramic(pano, (0, 0, pano.w, top_h))
    lines_x = [196 + 10 * i for i in range(4)]
    for i, x in enumerate(lines_x):
        pano.line([(x, 14), (x, top_h - 8)], fill=ORANGE if i == 1 else YELLOW, width=1.6 if i == 1 else 0.9)
    view_label(pano, VIEW_PANORAMIC)
    art.paste(pano, 0, 0)
    tile_w = (art.w - 3 * 2) // 4
    y = top_h + 2
    for i in range(4):
        x = i * (tile_w + 2)
        t = Art(tile_w if i < 3 else art.w - x, art.h - y, (14, 16, 20))
        t.vgradient((0, 0, t.w, t.h), (22, 24, 30), (12, 14, 18))
        draw_section(t, t.w * 0.44, t.h * 0.32, t.w * 0.56, t.h * 0.58, tooth=i != 2, seed=20 + i)
        t.label(6, 5, str(34 + i), F_LABEL_B, VIEW_LABEL)
        if i == 1:
            t.rect((0, 0, t.w, t.h), outline=ORANGE, width=1.5)
            t.line([(t.w * 0.44 + t.w * 0.1, t.h * 0.26), (t.w * 0.44 + t.w * 0.2, t.h * 0.86)], ORANGE, 1.0)
            t.label(t.w - 6, t.h - 14, "14.2", F_SMALL, ORANGE, "ra")
        art.paste(t, x, y)
        if i < 3:
            split(art, [(x + tile_w, y, x + tile_w + 2, art.h)])
    split(art, [(0, top_h, art.w, top_h + 2)])


def draw_nerve(art):
    viewport_bg(art)
    top_h = 138
    pano = Art(art.w, top_h, (14, 16, 20))
    box = (0, 0, pano.w, top_h)
    draw_panoramic(pano, box, canal=True)
    for pts in canal_path(box):
        pano.line(pts, fill=NERVE, width=2.2)
        for i in range(0, len(pts), 10):
            pano.circle(pts[i][0], pts[i][1], 2.3, fill=WHITE, outline=NERVE, width=1)
    view_label(pano, VIEW_PANORAMIC)
    art.paste(pano, 0, 0)
    y = top_h + 2
    tile_w = (art.w - 2) // 2
    for i in range(2):
        x = i * (tile_w + 2)
        t = Art(tile_w if i == 0 else art.w - x, art.h - y, (14, 16, 20))
        t.vgradient((0, 0, t.w, t.h), (22, 24, 30), (12, 14, 18))
        cc = draw_section(t, t.w * 0.38, t.h * 0.37, t.w * 0.38, t.h * 0.58, tooth=i == 0, seed=40 + i)
        t.circle(cc[0], cc[1], t.w * 0.38 * 0.11, outline=NERVE, width=1.6)
        view_label(t, VIEW_SECTION % (46, 36)[i])
        t.line([(cc[0] + 8, cc[1]), (t.w - 52, cc[1] - 18)], fill=NERVE, width=0.8)
        t.label(t.w - 8, cc[1] - 26, ("Canal R", "Canal L")[i], F_LABEL_B, NERVE, "ra")
        art.paste(t, x, y)
    split(art, [(0, top_h, art.w, top_h + 2), (tile_w, y, tile_w + 2, art.h)])


IMPLANT_LIBRARY = (("3.5 \u00d7 10", False), ("4.1 \u00d7 10", True), ("4.1 \u00d7 11.5", False),
                   ("4.8 \u00d7 8", False), ("4.8 \u00d7 10", False))


def draw_implant(art):
    viewport_bg(art)
    view_w = 186
    v = Art(view_w, art.h, (14, 16, 20))
    v.vgradient((0, 0, v.w, v.h), (24, 28, 34), (12, 14, 18))
    cx, top, w, hgt = v.w * 0.46, 52, 92, 168
    cc = draw_section(v, cx, top, w, hgt, tooth=False, canal=True, seed=9)
    # Safety margin around the implant, the implant itself and its axis.
    tr = draw_implant_body(v, cx + 4, top - 6, 92, 26, tilt_deg=-6)
    hull = [tr(-19, -4), tr(19, -4), tr(19, 96), tr(0, 104), tr(-19, 96)]
    v.dashed(hull + [hull[0]], GREEN, 0.9, 3, 2.5)
    v.dashed([tr(0, -40), tr(0, -8)], ORANGE, 1.0, 4, 3)
    v.circle(cc[0], cc[1], w * 0.085 + 1.5, outline=NERVE, width=1.4)
    # Distance from apex to canal.
    ax, ay = tr(0, 104)
    v.line([(ax, ay + 1), (cc[0], cc[1] - w * 0.085 - 2)], fill=YELLOW, width=1)
    tag(v, cc[0] + 15, cc[1] - 6, "2.4 mm", F_LABEL_B, YELLOW)
    view_label(v, VIEW_SECTION % 36)
    art.paste(v, 0, 0)
    # Implant library panel, in the light colours of the application.
    lib_x = view_w + 2
    lib = Art(art.w - lib_x, art.h, CHROME)
    lib.rect((0, 0, lib.w, 22), fill=(222, 228, 236))
    lib.label(8, 6, "Implant library", F_LABEL_B, NAVY)
    y = 30
    for name, chosen in IMPLANT_LIBRARY:
        if chosen:
            lib.rrect((4, y - 2, lib.w - 4, y + 30), 3, fill=(253, 232, 220), outline=ORANGE, width=1)
        # Small implant icon at the left of each entry.
        ix = 16
        lib.rrect((ix - 3, y + 3, ix + 3, y + 24), 2, fill=(150, 160, 174))
        for k in range(5):
            lib.line([(ix - 4, y + 6 + k * 4), (ix + 4, y + 8 + k * 4)], fill=(96, 106, 120), width=0.8)
        lib.label(28, y + 2, "\u00d8 " + name, F_LABEL_B if chosen else F_LABEL, NAVY if chosen else CHROME_TEXT)
        lib.label(28, y + 15, "mm  \u00b7  tapered", F_SMALL, TEXT_SOFT)
        y += 34
    lib.rrect((8, lib.h - 30, lib.w - 8, lib.h - 9), 4, fill=ORANGE)
    lib.label(lib.w / 2, lib.h - 20, "Place implant", F_LABEL_B, WHITE, "mm")
    art.paste(lib, lib_x, 0)
    split(art, [(view_w, 0, view_w + 2, art.h)])


def draw_measure(art):
    viewport_bg(art)
    cx, top, w, hgt = art.w * 0.46, 72, 100, 142
    draw_section(art, cx, top, w, hgt, tooth=True, canal=True, seed=13)
    # Bone height from the crest to the canal, with end ticks.
    hx = cx - w * 0.62
    y0, y1 = top + hgt * 0.02, top + hgt * 0.98
    art.line([(hx, y0), (hx, y1)], fill=YELLOW, width=1.2)
    for yy in (y0, y1):
        art.line([(hx - 5, yy), (hx + 5, yy)], fill=YELLOW, width=1.2)
    art.label(hx - 8, (y0 + y1) / 2 - 6, "24.6 mm", F_LABEL_B, YELLOW, "ra")
    # Bone width at the crest.
    wy = top + hgt * 0.28
    pts = section_outline(cx, top, w, hgt)
    n = (len(pts) - 11) // 2
    lx = min(p[0] for p in pts[:n] if abs(p[1] - wy) < hgt * 0.06)
    rx = max(p[0] for p in pts[-n:] if abs(p[1] - wy) < hgt * 0.06)
    art.line([(lx, wy), (rx, wy)], fill=CYAN, width=1.2)
    for xx in (lx, rx):
        art.line([(xx, wy - 4), (xx, wy + 4)], fill=CYAN, width=1.2)
    art.label(rx + 8, wy - 6, "8.3 mm", F_LABEL_B, CYAN)
    # Angle between the tooth axis and the vertical.
    ax, ay = cx + 2, top - hgt * 0.28
    art.line([(ax, ay), (ax, ay + 62)], fill=ORANGE, width=1.2)
    art.line([(ax, ay), (ax + 25, ay + 58)], fill=ORANGE, width=1.2)
    art.draw.arc(art._box((ax - 26, ay - 26, ax + 26, ay + 26)), 66.7, 90, fill=ORANGE, width=SS)
    art.label(ax + 30, ay + 10, "23.4\u00b0", F_LABEL_B, ORANGE)
    # Density in a region of the trabecular bone.
    rx0, ry0 = cx + w * 0.1, top + hgt * 0.48
    art.ellipse((rx0 - 11, ry0 - 9, rx0 + 11, ry0 + 9), outline=GREEN, width=1.2)
    art.line([(rx0 + 11, ry0), (rx0 + 44, ry0 + 18)], fill=GREEN, width=0.8)
    art.rrect((rx0 + 44, ry0 + 10, rx0 + 116, ry0 + 42), 3, fill=(10, 12, 16), outline=GREEN, width=1)
    art.label(rx0 + 50, ry0 + 13, "Mean 812 HU", F_LABEL_B, GREEN)
    art.label(rx0 + 50, ry0 + 26, "SD 96  \u00b7  34 mm\u00b2", F_SMALL, VIEW_LABEL)
    view_label(art, VIEW_SECTION % 46)
    # Measuring tools, as they appear in the viewer's tool strip.
    for i, (col, on) in enumerate(((YELLOW, False), (ORANGE, True), (GREEN, False))):
        bx = art.w - 26
        by = 8 + i * 24
        art.rrect((bx, by, bx + 18, by + 18), 3, fill=(52, 62, 76) if on else (30, 36, 44), outline=col, width=1)
        if i == 0:
            art.line([(bx + 4, by + 14), (bx + 14, by + 4)], fill=col, width=1.2)
        elif i == 1:
            art.line([(bx + 4, by + 4), (bx + 4, by + 14), (bx + 14, by + 14)], fill=col, width=1.2)
        else:
            art.ellipse((bx + 4, by + 5, bx + 14, by + 13), outline=col, width=1.2)


def draw_report(art):
    art.vgradient((0, 0, art.w, art.h), (214, 221, 230), (196, 205, 216))
    # The page, with a soft shadow.
    px0, py0, px1, py1 = 22, 12, 178, art.h + 6
    art.rect((px0 + 3, py0 + 3, px1 + 3, py1 + 3), fill=(160, 170, 184))
    art.blur(2.0)
    art.rect((px0, py0, px1, py1), fill=WHITE)
    art.rect((px0, py0, px1, py0 + 20), fill=NAVY)
    art.label(px0 + 8, py0 + 5, PRODUCT + " report", F_LABEL_B, WHITE)
    art.rect((px0, py0 + 20, px1, py0 + 22), fill=ORANGE)
    for i, wl in enumerate((70, 96, 58)):
        art.rect((px0 + 8, py0 + 30 + i * 8, px0 + 8 + wl, py0 + 33 + i * 8), fill=(200, 206, 214))
    # Panoramic thumbnail and two section thumbnails on the page.
    pano = Art(px1 - px0 - 16, 42, (14, 16, 20))
    draw_panoramic(pano, (0, 0, pano.w, pano.h), rng_seed=8)
    art.paste(pano, px0 + 8, py0 + 60)
    for k in range(2):
        t = Art(44, 54, (14, 16, 20))
        draw_section(t, 20, 16, 24, 34, tooth=k == 0, seed=60 + k)
        art.paste(t, px0 + 8 + k * 50, py0 + 110)
    for i, wl in enumerate((40, 34, 44, 30, 38)):
        art.rect((px0 + 110, py0 + 112 + i * 10, px0 + 110 + wl, py0 + 115 + i * 10), fill=(200, 206, 214))
    for i, wl in enumerate((136, 128, 140, 96, 132, 120)):
        art.rect((px0 + 8, py0 + 176 + i * 8, px0 + 8 + wl, py0 + 179 + i * 8), fill=(214, 219, 226))
    # Ways out: PDF, printer, disc, send.
    ix = 204
    for i, name in enumerate(EXPORTS):
        iy = 18 + i * 52
        art.rrect((ix, iy, ix + 40, iy + 40), 8, fill=WHITE if i else ORANGE, outline=CHROME_EDGE if i else None)
        col = NAVY if i else WHITE
        if i == 0:
            art.poly([(ix + 12, iy + 8), (ix + 24, iy + 8), (ix + 29, iy + 13), (ix + 29, iy + 32), (ix + 12, iy + 32)],
                     fill=WHITE)
            art.poly([(ix + 24, iy + 8), (ix + 24, iy + 13), (ix + 29, iy + 13)], fill=(250, 200, 170))
            art.label(ix + 20, iy + 24, name, F_SMALL, ORANGE, "mm")
        elif i == 1:
            art.rrect((ix + 9, iy + 16, ix + 31, iy + 28), 2, fill=col)
            art.rect((ix + 13, iy + 10, ix + 27, iy + 16), outline=col, width=1.5)
            art.rect((ix + 13, iy + 24, ix + 27, iy + 32), fill=WHITE, outline=col, width=1.5)
        elif i == 2:
            art.circle(ix + 20, iy + 20, 12, fill=(220, 228, 238), outline=col, width=1.5)
            art.circle(ix + 20, iy + 20, 3.5, fill=WHITE, outline=col, width=1.5)
        else:
            art.poly([(ix + 8, iy + 20), (ix + 32, iy + 10), (ix + 24, iy + 32), (ix + 20, iy + 23)], fill=col)
            art.line([(ix + 20, iy + 23), (ix + 32, iy + 10)], fill=WHITE, width=1.2)
        art.label(ix + 48, iy + 14, name, F_LABEL_B, NAVY)
    art.line([(188, 14), (188, art.h - 14)], fill=(180, 190, 204), width=1)


def draw_overview(art):
    """The viewer's standard layout: 3D and axial side by side over the panoramic."""
    viewport_bg(art)
    top_h = 120
    half = (art.w - 2) // 2
    v3d = Art(half, top_h, VIEW_BG)
    viewport_bg(v3d)
    v3d.ellipse((20, 10, half - 20, top_h - 6), fill=(40, 54, 74))
    v3d.blur(12)
    draw_jaws(v3d, half * 0.52, top_h * 0.5, 17, -30, 24)
    view_label(v3d, VIEW_3D)
    art.paste(v3d, 0, 0)
    ax = Art(art.w - half - 2, top_h, (14, 16, 20))
    draw_axial(ax, ax.w / 2, top_h * 0.64, 48, 50)
    view_label(ax, VIEW_AXIAL)
    art.paste(ax, half + 2, 0)
    pano = Art(art.w, art.h - top_h - 2, (14, 16, 20))
    draw_panoramic(pano, (0, 0, pano.w, pano.h), rng_seed=17)
    view_label(pano, VIEW_PANORAMIC)
    art.paste(pano, 0, top_h + 2)
    split(art, [(half, 0, half + 2, top_h), (0, top_h, art.w, top_h + 2)])




# ----------------------------------------------------------------------------------------------------------------
# Page layout.

F_BRAND = font(FONT_BOLD, 17)
F_HEADER_SUB = font(FONT_REGULAR, 12)
F_HEADING = font(FONT_BOLD, 18)
F_DESC = font(FONT_REGULAR, 13)
F_CAPTION = font(FONT_REGULAR, 11)
F_TITLE = font(FONT_BOLD, 40)
F_TITLE_SUB = font(FONT_REGULAR, 18)
F_TITLE_LINE = font(FONT_BOLD, 14)
F_TITLE_NOTE = font(FONT_REGULAR, 12)


def logo(d, x, y, r, ring, core):
    """The product mark: a ring around a dot, echoing the slide markers."""
    d.ellipse((x - r, y - r, x + r, y + r), fill=ring)
    d.ellipse((x - r * 0.62, y - r * 0.62, x + r * 0.62, y + r * 0.62), fill=NAVY)
    d.ellipse((x - r * 0.3, y - r * 0.3, x + r * 0.3, y + r * 0.3), fill=core)


def smooth_logo(img, x, y, r, ring, core):
    size = int(math.ceil(r * 2 + 4))
    hi = Image.new("RGB", (size * SS, size * SS), NAVY)
    logo(ImageDraw.Draw(hi), size * SS / 2, size * SS / 2, r * SS, ring, core)
    img.paste(hi.reduce(SS), (int(x - size / 2), int(y - size / 2)))


def header(img, d):
    for y in range(HEADER_H):
        d.line([(0, y), (WIDTH - 1, y)], fill=mix(NAVY_LIGHT, NAVY, y / (HEADER_H - 1)))
    d.rectangle((0, HEADER_H, WIDTH - 1, HEADER_H + 1), fill=ORANGE)
    smooth_logo(img, 40, HEADER_H // 2, 10, ORANGE, WHITE)
    d.text((58, HEADER_H // 2), PRODUCT, font=F_BRAND, fill=WHITE, anchor="lm")
    bx = 58 + d.textlength(PRODUCT, font=F_BRAND) + 10
    d.text((bx, HEADER_H // 2 + 1), EDITION, font=F_HEADER_SUB, fill=HEADER_SUB, anchor="lm")
    d.text((WIDTH - 24, HEADER_H // 2 + 1), DISC_NAME, font=F_HEADER_SUB, fill=HEADER_SUB, anchor="rm")


def panel(img, title, art_img):
    """Screenshot as a picture on the page: a caption, then the image in a thin frame with a soft shadow."""
    x0, y0, x1, y1 = PANEL
    top = y0 + CAPTION_H
    sh = Image.new("L", (WIDTH, HEIGHT), 0)
    ImageDraw.Draw(sh).rectangle((x0 + 2, top + 4, x1 + 1, y1 + 3), fill=90)
    sh = sh.filter(ImageFilter.GaussianBlur(4))
    img.paste(Image.new("RGB", (WIDTH, HEIGHT), (110, 122, 140)), (0, 0), sh)
    d = ImageDraw.Draw(img)
    caption = PRODUCT + "  \u2013  " + title
    check_fits(caption, F_CAPTION, x1 - x0)
    d.text((x0, top - 5), caption, font=F_CAPTION, fill=TEXT_SOFT, anchor="ls")
    img.paste(art_img, (x0, top))
    d.rectangle((x0 - 1, top - 1, x1, y1), outline=(150, 162, 178))


def panel_art():
    x0, y0, x1, y1 = PANEL
    return Art(x1 - x0, y1 - y0 - CAPTION_H, VIEW_BG)


def check_fits(text, fnt, width):
    length = ImageDraw.Draw(Image.new("RGB", (1, 1))).textlength(text, font=fnt)
    if length > width:
        raise SystemExit("text too wide (%d > %d px): %r" % (length, width, text))


def draw_markers(img, highlighted):
    """Seven dots, anti-aliased by exact area coverage so nothing spills out of the 10x10 cells."""
    px = img.load()
    r = MARKER_SIZE / 2
    sub = 8
    for i in range(MARKER_COUNT):
        col = MARKER_HIGHLIGHT if i + 1 == highlighted else MARKER_PLAIN
        left = MARKER_LEFT + MARKER_STEP * i
        for y in range(MARKER_SIZE):
            for x in range(MARKER_SIZE):
                inside = 0
                for sy in range(sub):
                    for sx in range(sub):
                        dx = x + (sx + 0.5) / sub - r
                        dy = y + (sy + 0.5) / sub - r
                        inside += dx * dx + dy * dy <= r * r
                bg = px[left + x, MARKER_TOP + y]
                px[left + x, MARKER_TOP + y] = mix(bg, col, inside / (sub * sub))


def page(highlighted, heading, desc, title, drawer):
    img = Image.new("RGB", (WIDTH, HEIGHT), WHITE)
    d = ImageDraw.Draw(img)
    header(img, d)
    number = "%d." % highlighted
    check_fits(number + " " + heading, F_HEADING, COLUMN_W)
    d.text((COLUMN_X, HEADING_Y), number, font=F_HEADING, fill=ORANGE)
    nx = COLUMN_X + d.textlength(number + " ", font=F_HEADING)
    d.text((nx, HEADING_Y), heading, font=F_HEADING, fill=NAVY)
    d.rectangle((COLUMN_X, HEADING_Y + 34, COLUMN_X + 35, HEADING_Y + 36), fill=ORANGE)
    for i, line in enumerate(desc):
        check_fits(line, F_DESC, COLUMN_W)
        d.text((COLUMN_X, DESC_Y + i * DESC_STEP), line, font=F_DESC, fill=TEXT)
    art = panel_art()
    drawer(art)
    panel(img, title, art.finish())
    draw_markers(img, highlighted)
    return img


def title_page():
    img = Image.new("RGB", (WIDTH, HEIGHT), WHITE)
    d = ImageDraw.Draw(img)
    header(img, d)
    x = COLUMN_X
    d.text((x, 66), PRODUCT, font=F_TITLE, fill=NAVY)
    d.text((x + 2, 116), DISC_NAME, font=F_TITLE_SUB, fill=ORANGE)
    d.rectangle((x + 2, 150, x + 37, 152), fill=ORANGE)
    check_fits(TITLE_LINE, F_TITLE_LINE, COLUMN_W)
    d.text((x + 2, 166), TITLE_LINE, font=F_TITLE_LINE, fill=NAVY)
    for i, line in enumerate(TITLE_NOTE):
        check_fits(line, F_TITLE_NOTE, COLUMN_W)
        d.text((x + 2, 192 + i * 18), line, font=F_TITLE_NOTE, fill=TEXT)
    art = panel_art()
    draw_overview(art)
    panel(img, "Patient case", art.finish())
    draw_markers(img, None)
    return img


def bmp_bytes(img):
    """24-bit bottom-up BI_RGB BMP with a 40-byte info header; rows padded to 4 bytes."""
    w, h = img.size
    stride = (w * 3 + 3) & ~3
    raw = img.convert("RGB").tobytes("raw", "BGR")
    pad = b"\0" * (stride - w * 3)
    rows = [raw[y * w * 3:(y + 1) * w * 3] + pad for y in range(h - 1, -1, -1)]
    pixels = b"".join(rows)
    ppm = 3780  # 96 dpi
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), ppm, ppm, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return head + info + pixels


def write_file(path, data):
    # Written through a temporary name so an interrupted build never leaves a truncated picture behind.
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_slides.py OUTDIR\n")
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    pages = [(TITLE_RESOURCE, title_page())]
    for resource, dot, heading, desc, title, drawer in FEATURES:
        pages.append((resource, page(dot, heading, desc, title, globals()[drawer])))
    for resource, img in pages:
        assert img.size == (WIDTH, HEIGHT)
        write_file(os.path.join(out, "slide%d.bmp" % resource), bmp_bytes(img))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
