"""Large discs: 20,000 patient files and a reference database of 20,000 files in nested folders.

Slow under Wine (a new name in a large folder costs a case-insensitive scan of it), so these run only on
demand: scripts/scale-test. Memory is the peak resident set (VmHWM) of the launcher's process, read from
/proc while it runs; the wineserver is a process of its own and not counted.
"""
import os
import shutil
import time
from pathlib import Path

import pytest

import harness
from harness import suid_text

pytestmark = pytest.mark.skipif(os.environ.get("AUTORUN_SCALE") != "1", reason="scale runs: scripts/scale-test")
V = (0, 0, 0, 0)


def launcher_pid(prefix: str, timeout=60):
    deadline = time.time() + timeout
    while time.time() < deadline:
        for entry in Path("/proc").iterdir():
            if not entry.name.isdigit():
                continue
            try:
                if b"autorun.exe" in (entry / "cmdline").read_bytes() and \
                        f"WINEPREFIX={prefix}".encode() in (entry / "environ").read_bytes():
                    return int(entry.name)
            except OSError:
                continue
        time.sleep(0.05)
    return None


def run_measured(world, timeout):
    run = world.start()
    pid = launcher_pid(os.environ["WINEPREFIX"])
    peak = 0
    while run.running():
        try:
            for line in Path(f"/proc/{pid}/status").read_text().splitlines():
                if line.startswith("VmHWM:"):
                    peak = max(peak, int(line.split()[1]))
        except OSError:
            pass
        time.sleep(0.2)
    assert run.wait(timeout) == 0
    return peak


def make_disc(world, files):
    data = world.disc.root / "Data"
    data.mkdir(parents=True, exist_ok=True)
    (data / "Default.npj").write_bytes(b"p")
    for i in range(files - 1):
        (data / f"slice{i:05d}.dcm").write_bytes(b"%05d" % i)
    ref = world.disc.root / "ImplantDB"
    for f in range(100):
        folder = ref / f"maker{f // 10:02d}" / f"line{f:03d}"
        folder.mkdir(parents=True, exist_ok=True)
        for i in range(files // 100):
            (folder / f"fixture{i:04d}.stl").write_bytes(b"s")


def test_twenty_thousand_files_with_flat_memory(world):
    root = world.machine.install(version=V)
    world.disc.suid(suid_text(mode="DiscStudio", sid="BIG", version=V))
    patient = root / "Patient" / "BIG"
    peaks = {}
    for files in (1000, 20000):
        for sub in ("Data", "ImplantDB"):
            shutil.rmtree(world.disc.root / sub, ignore_errors=True)
        shutil.rmtree(patient, ignore_errors=True)
        shutil.rmtree(root / "ImplantDB")
        (root / "ImplantDB").mkdir()
        make_disc(world, files)
        before = len(world.debug_lines())
        started = time.monotonic()
        peaks[files] = run_measured(world, timeout=3600)
        lines = world.debug_lines()[before:]
        print(f"\n{files} files: {time.monotonic() - started:.0f} s, peak resident {peaks[files] / 1024:.1f} MB")
        # Every file handled once, each copied: the counter ended at the total.
        assert sum(1 for l in lines if "\\Patient\\BIG\\" in l and l.endswith(": Success\n")) == files
        assert sum(1 for l in lines if "\\ImplantDB\\" in l and l.endswith(": Success\n")) == files
        assert len(list(patient.iterdir())) == files
    assert peaks[20000] - peaks[1000] < 10 * 1024, peaks
