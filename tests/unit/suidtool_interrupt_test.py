"""suidtool under signals and on a terminal: an interrupted make-disc or iso stops its child, removes what it was
building and exits 128 + signal; a later run clears what a killed run left; progress shows on a terminal only.
Run by ctest with SUIDTOOL set to the binary."""
import os
import pty
import re
import signal
import subprocess
import time
from pathlib import Path

import pytest

from suidtool_test import TOOL, XORRISO, make_disc, needs_xorriso, sources, touch  # noqa: F401 (a fixture)

SIGNALS = [signal.SIGINT, signal.SIGTERM, signal.SIGHUP]
WAIT = 30  # seconds; the work below takes a few


def wait_for(condition, what):
    deadline = time.monotonic() + WAIT
    while time.monotonic() < deadline:
        found = condition()
        if found:
            return found
        time.sleep(0.01)
    pytest.fail(f"timed out waiting for {what}")


def children(pid):
    """Processes whose parent is `pid`, from /proc."""
    found = []
    for entry in Path("/proc").iterdir():
        if entry.name.isdigit():
            try:
                stat = (entry / "stat").read_text()
            except OSError:
                continue
            # "pid (comm) state ppid ...": comm may hold blanks, so split after its closing parenthesis.
            if int(stat[stat.rindex(")") + 2:].split()[1]) == pid:
                found.append(int(entry.name))
    return found


def sparse(path, size):
    path.parent.mkdir(parents=True, exist_ok=True)
    with open(path, "wb") as f:
        f.truncate(size)


def dead_pid():
    """The ID of a process that has ended (and was reaped): the maker of a killed run's remains."""
    process = subprocess.Popen(["true"])
    process.wait()
    return process.pid


def building(tmp_path):
    """The hidden build folder of the disc once it holds copied bytes."""
    for entry in tmp_path.iterdir():
        if entry.name.startswith(".disc.build-"):
            data = entry / "Data"
            if data.is_dir() and sum(f.stat().st_size for f in data.iterdir() if f.is_file()) > 0:
                return entry
    return None


@pytest.mark.parametrize("sig", SIGNALS, ids=lambda s: s.name)
def test_interrupted_make_disc_leaves_nothing_behind(sources, tmp_path, sig):
    for i in range(4):
        sparse(sources / "patient" / f"volume{i}.raw", 512 << 20)
    before = sorted(os.listdir(tmp_path))
    process = subprocess.Popen([TOOL, *make_disc_args(sources, tmp_path / "disc")], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE)
    wait_for(lambda: building(tmp_path), "make-disc to copy")
    process.send_signal(sig)
    process.communicate(timeout=WAIT)
    assert process.returncode == 128 + sig
    assert sorted(os.listdir(tmp_path)) == before


def make_disc_args(src, out):
    return ["make-disc", "--out", str(out), "--patient", str(src / "patient"), "--id", "A1", "--mode",
            "DiscStudio", "--viewer-version", "1.0.0.0", "--implantdb", str(src / "implantdb"), "--viewer",
            str(src / "viewer"), "--autorun", str(src / "autorun.exe")]


@needs_xorriso
@pytest.mark.parametrize("sig", SIGNALS, ids=lambda s: s.name)
def test_interrupted_iso_stops_xorriso_and_leaves_nothing_behind(sources, tmp_path, sig):
    disc = tmp_path / "disc"
    assert make_disc(sources, disc).returncode == 0
    for i in range(2):
        sparse(disc / "Data" / f"volume{i}.raw", 1 << 30)
    before = sorted(os.listdir(tmp_path))
    process = subprocess.Popen([TOOL, "iso", disc, tmp_path / "disc.iso"], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE)

    def writing():
        images = [e for e in tmp_path.iterdir() if e.name.startswith("disc.iso.tmp-")]
        helpers = children(process.pid)
        return images and images[0].stat().st_size > (1 << 20) and helpers and helpers

    xorriso = wait_for(writing, "xorriso to write the image")
    process.send_signal(sig)  # to suidtool alone, as kill(1) does; not to its process group
    process.communicate(timeout=WAIT)
    assert process.returncode == 128 + sig
    assert sorted(os.listdir(tmp_path)) == before
    for pid in xorriso:
        assert not Path(f"/proc/{pid}").exists(), f"xorriso {pid} is still there"


def test_a_later_make_disc_clears_what_a_killed_one_left(sources, tmp_path):
    dead, alive = dead_pid(), os.getpid()
    left = tmp_path / f".disc.build-{dead}-aB3dEf"
    touch(left / "Data" / "half.dcm", b"half")
    running = tmp_path / f".disc.build-{alive}-xY7zQw"
    running.mkdir()
    unknown = tmp_path / ".disc.build-Q1w2E3"  # no process ID in the name: named, not removed
    unknown.mkdir()
    result = make_disc(sources, tmp_path / "disc")
    assert result.returncode == 0, result.stderr
    assert f"suidtool: removed {left}, left by an interrupted run (process {dead})" in result.stderr
    assert f"warning: {unknown} looks like the remains of an interrupted run" in result.stderr
    assert not left.exists() and running.exists() and unknown.exists()


@needs_xorriso
def test_a_later_iso_clears_what_a_killed_one_left(sources, tmp_path):
    disc = tmp_path / "disc"
    assert make_disc(sources, disc).returncode == 0
    dead = dead_pid()
    left = touch(tmp_path / f"disc.iso.tmp-{dead}-aB3dEf", b"half an image")
    old_log = touch(tmp_path / "disc.iso.log-aB3dEf", b"an older version's log")
    result = subprocess.run([TOOL, "iso", disc, tmp_path / "disc.iso"], capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    assert f"removed {left}" in result.stderr
    assert f"warning: {old_log} looks like the remains" in result.stderr
    assert not left.exists()


def on_terminal(args):
    """Runs with stderr on a pseudo-terminal: (exit status, stderr as written, seconds to the first progress)."""
    master, slave = pty.openpty()
    started = time.monotonic()
    process = subprocess.Popen([TOOL, *map(str, args)], stdout=subprocess.PIPE, stderr=slave)
    os.close(slave)
    written, first = b"", None
    while True:
        try:
            chunk = os.read(master, 65536)
        except OSError:  # the terminal's other side closed
            break
        if not chunk:
            break
        if first is None and b"%" in chunk:
            first = time.monotonic() - started
        written += chunk
    os.close(master)
    process.wait(timeout=WAIT)
    return process.returncode, written.decode(), first


PROGRESS = "\r\x1b[K"


def test_make_disc_shows_progress_on_a_terminal_only(sources, tmp_path):
    for i in range(3):
        sparse(sources / "patient" / f"volume{i}.raw", 150 << 20)
    status, shown, first = on_terminal(make_disc_args(sources, tmp_path / "disc"))
    assert status == 0, shown
    lines = shown.split(PROGRESS)[1:-1]
    counted = [re.fullmatch(r"make-disc: (\d+) of 11 files, [\d.]+ (?:bytes|KB|MB|GB) of 472 MB \((\d+)%\)", line)
               for line in lines]
    assert lines and all(counted), lines
    assert [int(m[2]) for m in counted] == sorted(int(m[2]) for m in counted)
    assert shown.endswith(PROGRESS)  # the line is wiped at the end
    assert first is not None and first < 5  # measured: 0.1 to 0.3 s
    status, shown, _ = on_terminal(make_disc_args(sources, tmp_path / "quiet") + ["--quiet"])
    assert (status, shown) == (0, "")
    piped = subprocess.run([TOOL, *make_disc_args(sources, tmp_path / "piped")], capture_output=True, text=True)
    assert (piped.returncode, piped.stderr) == (0, "")


@needs_xorriso
def test_iso_shows_xorrisos_progress_on_a_terminal_only(sources, tmp_path):
    disc = tmp_path / "disc"
    assert make_disc(sources, disc).returncode == 0
    sparse(disc / "Data" / "volume.raw", 512 << 20)
    status, shown, first = on_terminal(["iso", disc, tmp_path / "disc.iso"])
    assert status == 0, shown
    assert f"{PROGRESS}iso: reading {disc}" in shown
    percents = [int(part.split("%")[0]) for part in shown.split(f"{PROGRESS}iso: ")[1:] if "% of the image" in part]
    assert percents and percents == sorted(percents), shown
    assert shown.endswith(PROGRESS)
    status, shown, _ = on_terminal(["iso", "--quiet", disc, tmp_path / "quiet.iso"])
    assert (status, shown) == (0, "")
    piped = subprocess.run([TOOL, "iso", disc, tmp_path / "piped.iso"], capture_output=True, text=True)
    assert (piped.returncode, piped.stderr) == (0, "")
