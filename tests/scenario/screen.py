"""What the user sees of the launcher's window, read from outside: its client area on the screen, screenshots of
the X display, messages sent or posted to it as the system or another program would, and whether it answers."""
import subprocess
import tempfile
import time
from pathlib import Path

from PIL import Image

import harness

EXE = "autorun.exe"
DIALOG = "#32770"
FRAME = "AutorunFrame"
PICTURE = (680, 420)
ORANGE = (217, 72, 0)
WM_NULL, WM_CLOSE, WM_QUERYENDSESSION, WM_ENDSESSION, WM_LBUTTONDOWN = 0x0000, 0x0010, 0x0011, 0x0016, 0x0201
WM_COPY_FINISHED, WM_LAUNCH_VIEWER = 0x0402, 0x0403


def winmsg(*args, timeout=60):
    """Runs tests/tools' winmsg.exe; returns (exit code, stdout)."""
    with tempfile.TemporaryFile() as out:
        rc = subprocess.run(["wine", str(harness.TOOLS / "winmsg.exe"), *map(str, args)], stdin=subprocess.DEVNULL,
                            stdout=out, stderr=subprocess.DEVNULL, timeout=timeout).returncode
        out.seek(0)
        return rc, out.read().decode("ascii", "replace").strip()


def send(cls, *messages):
    """Sends (msg, wparam, lparam) triples in order; returns (exit code, [results])."""
    rc, out = winmsg("send", EXE, cls, *[v for m in messages for v in m])
    return rc, [int(v) for v in out.split()]


def post(cls, msg, wparam=0, lparam=0):
    return winmsg("post", EXE, cls, msg, wparam, lparam)


def click(x, y):
    """A left click at a point of the progress window's client area, as the window receives it."""
    return post(DIALOG, WM_LBUTTONDOWN, 1, (y << 16) | (x & 0xFFFF))


def client_area(tmp: Path):
    """(left, top, width, height) of the progress window's client area on the screen, or None."""
    out = tmp / f"client-{time.monotonic_ns()}.txt"
    rc, _ = winmsg("client", EXE, DIALOG, harness.winpath(out))
    if rc != 0 or not out.exists():
        return None
    return tuple(int(v) for v in out.read_text().split())


def screenshot(path: Path = None) -> Image.Image:
    """The whole X display as the user sees it (saved to `path` when given)."""
    with tempfile.TemporaryDirectory() as scratch:
        shot = path or Path(scratch) / "shot.png"
        subprocess.run(["/usr/bin/import", "-window", "root", str(shot)], stdin=subprocess.DEVNULL,
                       capture_output=True, timeout=30, check=True)
        image = Image.open(shot).convert("RGB")
        image.load()
    return image


def client_image(tmp: Path, path: Path = None):
    """The progress window's client area as painted on the screen."""
    area = client_area(tmp)
    assert area, "no progress window"
    left, top, width, height = area
    return screenshot(path).crop((left, top, left + width, top + height))


def near(pixel, colour, tolerance=40):
    return all(abs(a - b) <= tolerance for a, b in zip(pixel, colour))


def lit_markers(image: Image.Image, drawn=None):
    """The markers (1..7) shown lit in a picture of the client area; `drawn` is the picture's drawn size."""
    width, height = drawn or image.size
    sx, sy = width / PICTURE[0], height / PICTURE[1]
    return [i + 1 for i in range(7) if near(image.getpixel((round((67 + 38 * i) * sx), round(270 * sy))), ORANGE)]


def marker_centre(i, drawn):
    """The centre of marker i (1..7) in client pixels, for a picture drawn at `drawn`."""
    width, height = drawn
    return round((67 + 38 * (i - 1)) * width / PICTURE[0]), round(270 * height / PICTURE[1])


class Watch:
    """Asks the progress window every 100 ms whether it answers, as the system's hung-window check does."""

    def __init__(self, tmp: Path):
        self.out = tmp / "watch.txt"
        self.stop_file = tmp / "watch.stop"
        self.proc = subprocess.Popen(["wine", str(harness.TOOLS / "winmsg.exe"), "watch", EXE, DIALOG,
                                      harness.winpath(self.out), harness.winpath(self.stop_file)],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def stop(self):
        self.stop_file.write_bytes(b"")
        try:
            self.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()

    def samples(self):
        """(ms since start, ms to answer, hung, answered) for every sample."""
        if not self.out.exists():
            return []
        return [tuple(int(v) for v in line.split()) for line in self.out.read_text().splitlines() if line.strip()]


def control_text(windows, control_id):
    """The text of a control of the progress window in a harness.visible_windows(..., controls=True) list."""
    for line in windows:
        parts = line.strip().split(" ", 2)
        if line.startswith("  ") and parts[0] == str(control_id):
            return parts[2].split('"')[1]
    return None


def wait_for_counter(tmp: Path, done: int, total: int, timeout=60):
    """Waits until the progress window's counter reads "k / total" with k >= done; returns the window list or []."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        windows = harness.visible_windows(EXE, tmp, controls=True)
        parts = (control_text(windows, 1003) or "").split(" / ")
        if len(parts) == 2 and int(parts[1]) == total and int(parts[0]) >= done:
            return windows
        time.sleep(0.05)
    return []


SLIDES = harness.BUILD / "slides"


def long_transfer(world, folders=16, each=1000, patient_files=40, sid="A1"):
    """A disc whose transfer keeps the progress window up for a while: a few patient files, then a reference
    database of folders x each files (16 x 1000: about 10 s under Wine), for a viewer of version 1.2.3.4. Returns the
    number of reference files."""
    world.disc.suid(harness.suid_text(mode="DiscStudio", sid=sid, version=(1, 2, 3, 4), plain=False))
    world.disc.data({"Default.npj": b"project", **{f"scan{i:03d}.dcm": b"s" * 512 for i in range(patient_files - 1)}})
    world.disc.data({f"Maker{f:02d}/part{i:04d}.stl": b"r" * 256 for f in range(folders) for i in range(each)},
                    folder="ImplantDB")
    return folders * each


def measure(tmp: Path, control_id, face="Tahoma", points=10):
    """(text width, text height, control width, control height) of a control's text in the template's font."""
    out = tmp / f"measure-{time.monotonic_ns()}.txt"
    rc, _ = winmsg("measure", EXE, DIALOG, control_id, face, points, harness.winpath(out))
    assert rc == 0 and out.exists()
    return tuple(int(v) for v in out.read_text().split())


def work_area(tmp: Path):
    out = tmp / f"workarea-{time.monotonic_ns()}.txt"
    rc, _ = winmsg("workarea", harness.winpath(out))
    assert rc == 0
    return tuple(int(v) for v in out.read_text().splitlines()[0].split())


def picture_difference(image: Image.Image, rows=0.8):
    """How far (mean absolute difference per channel, 0..255) a client area's picture is from the nearest slide scaled
    to the client area's size, over its upper `rows` (the texts and the bar lie below)."""
    width, height = image.size
    box = (0, 0, width, int(height * rows))
    seen = image.crop(box).tobytes()
    best = 255.0
    for bmp in sorted(SLIDES.glob("slide*.bmp")):
        slide = Image.open(bmp).convert("RGB")
        # Within a few pixels of its size the picture is drawn 1:1, the client area showing what it holds of it.
        if abs(width - PICTURE[0]) <= 4 and abs(height - PICTURE[1]) <= 4:
            slide = slide.crop((0, 0, width, height))
        else:
            slide = slide.resize((width, height), Image.BILINEAR)
        slide = slide.crop(box).tobytes()
        best = min(best, sum(abs(a - b) for a, b in zip(seen[::7], slide[::7])) / len(seen[::7]))
    return best
