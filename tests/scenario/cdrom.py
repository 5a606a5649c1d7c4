"""A patient disc as Windows meets it: made by suidtool, written to an ISO image, the image's files behind a
Wine drive letter of type CD-ROM, and the launcher started from that drive.

Wine reads the types of its drives when its server starts, so mapping or unmapping the drive restarts the
server of the test prefix, the way scripts/lib/wine-env.sh starts it. Do that before a test's debug listener
starts (a module-scoped fixture) and after its last test, never while a Wine program of a test runs.
"""
import os
import subprocess
import time
from pathlib import Path

import harness

SUIDTOOL = harness.ROOT / "build" / "native" / "suidtool"
DRIVES_KEY = r"HKLM\Software\Wine\Drives"
DRIVE_TYPE_CDROM = 5  # GetDriveTypeA's DRIVE_CDROM
QUIET = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def suidtool(*args):
    result = subprocess.run([str(SUIDTOOL), *map(str, args)], capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, f"suidtool {args[0]}: {result.stderr}"
    return result.stdout


def extract_image(image: Path, target: Path):
    subprocess.run(["xorriso", "-osirrox", "on", "-indev", str(image), "-extract", "/", str(target)],
                   check=True, capture_output=True, timeout=120)


def restart_wineserver():
    """A fresh persistent server that holds none of our pipes (wine-env.sh's way), warm before it returns."""
    subprocess.run(["wineserver", "-k"], **QUIET, timeout=60)
    subprocess.run(["wineserver", "-w"], **QUIET, timeout=60)
    subprocess.run(["wineserver", "-p"], **QUIET, timeout=60, check=True)
    # The first program starts Wine's background services, which inherit its stdio and keep it open: never a
    # pipe of ours here, or the next read of one would wait for them.
    subprocess.run(["wine", harness.wine_program("reg"), "query", DRIVES_KEY], **QUIET, timeout=60)


class CdromDrive:
    """A drive letter of type CD-ROM that shows a folder."""

    def __init__(self, letter: str, folder: Path):
        self.letter = letter.lower().rstrip(":")
        self.folder = folder
        self.link = harness.prefix() / "dosdevices" / f"{self.letter}:"

    @property
    def root(self) -> str:
        return f"{self.letter.upper()}:"

    def map(self):
        assert not os.path.lexists(self.link), f"drive {self.root} is taken"
        os.symlink(self.folder, self.link)
        try:
            harness.wine("reg", "add", DRIVES_KEY, "/v", f"{self.letter}:", "/d", "cdrom", "/f")
            restart_wineserver()
        except BaseException:
            self.unmap()
            raise

    def unmap(self):
        if os.path.lexists(self.link):
            self.link.unlink()
        harness.wine("reg", "delete", DRIVES_KEY, "/v", f"{self.letter}:", "/f", check=False)
        restart_wineserver()

    def drive_type(self) -> int:
        """GetDriveTypeA's answer for the drive, as WMI reports it."""
        out = harness.wine("wmic", "logicaldisk", "get", "name,drivetype").stdout
        # wmic writes UTF-16 to a file (with or without a byte order mark) and ASCII to a pipe.
        text = out.decode("utf-16" if out[:2] in (b"\xff\xfe", b"\xfe\xff") else
                          "utf-16-le" if b"\x00" in out else "ascii", "replace")
        for line in text.splitlines():
            parts = line.split()
            if len(parts) == 2 and parts[1].upper() == self.root:
                return int(parts[0])
        return 0


def run_launcher(exe: str, tmp: Path, timeout=60) -> int:
    """Starts a program by its Wine path (harness.Run takes Unix paths) and waits for it."""
    with open(tmp / f"stdout-{time.monotonic_ns()}.txt", "wb") as out:
        proc = subprocess.Popen(["wine", exe], stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL,
                                cwd=str(tmp))
        try:
            return proc.wait(timeout=timeout)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()


def set_writable(root: Path, writable: bool):
    """chmod -R a-w (a read-only medium) or u+w (so that the folder can be removed again)."""
    for dirpath, _, files in os.walk(root):
        for path in [Path(dirpath), *(Path(dirpath) / name for name in files)]:
            mode = path.stat().st_mode
            path.chmod((mode | 0o200) if writable else (mode & ~0o222))
