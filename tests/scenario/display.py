"""Other screens for the test session's Wine world: another X screen size, a work area that a task bar leaves, and
another DPI. The prefix stays; its wineserver is restarted on a display of the size asked for, with the DPI in the
registry (read when Wine's processes start), and the session's own display and DPI come back afterwards."""
import os
import subprocess
import tempfile
import time
from contextlib import contextmanager
from pathlib import Path

import harness

DPI_KEY = r"HKCU\Control Panel\Desktop"


def _quiet(*cmd):
    subprocess.run(list(cmd), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=120)


def _restart_wineserver():
    """Stops the prefix's wineserver and starts a persistent one, which takes the current DISPLAY and DPI."""
    _quiet("wineserver", "-k")
    _quiet("wineserver", "-w")
    _quiet("wineserver", "-p")


def _set_dpi(dpi):
    harness.wine("reg", "add", DPI_KEY, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f")


@contextmanager
def xvfb(width, height, workarea=None):
    """A new X screen of width x height; `workarea` (left, top, width, height) is what a task bar leaves."""
    folder = Path(tempfile.mkdtemp(prefix="autorun-screen."))
    number = folder / "display"
    number.write_bytes(b"")
    with open(number, "wb") as out, open(folder / "xvfb.log", "wb") as log:
        proc = subprocess.Popen(["Xvfb", "-displayfd", str(out.fileno()), "-screen", "0", f"{width}x{height}x24",
                                 "-nolisten", "tcp", "-noreset"], pass_fds=(out.fileno(),), stdin=subprocess.DEVNULL,
                                stdout=log, stderr=log)
    try:
        deadline = time.time() + 10
        while not number.read_text().strip():
            assert time.time() < deadline and proc.poll() is None, "Xvfb did not start"
            time.sleep(0.05)
        display = ":" + number.read_text().split()[0]
        if workarea:
            values = ",".join(str(v) for v in workarea)
            subprocess.run(["xprop", "-display", display, "-root", "-format", "_NET_WORKAREA", "32c", "-set",
                            "_NET_WORKAREA", values], check=True, stdin=subprocess.DEVNULL, timeout=30)
        yield display
    finally:
        proc.kill()
        proc.wait()
        subprocess.run(["rm", "-rf", str(folder)], check=False)


@contextmanager
def screen_of(width, height, dpi=96, workarea=None):
    """Runs the session's Wine world on a screen of width x height at `dpi` for the time of the block."""
    session_display = os.environ["DISPLAY"]
    with xvfb(width, height, workarea) as display:
        os.environ["DISPLAY"] = display
        try:
            _restart_wineserver()
            _set_dpi(dpi)
            _restart_wineserver()
            yield
        finally:
            _set_dpi(96)
            os.environ["DISPLAY"] = session_display
            _restart_wineserver()
