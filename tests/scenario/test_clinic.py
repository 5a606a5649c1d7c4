"""The copy on a clinic's PC, where other programs take part: an on-access scanner that opens every new file for a
moment without delete sharing, as antivirus, the search indexer and backup agents do."""
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

import harness
from harness import suid_text
from test_reliability import copy_results

V = (1, 2, 3, 4)


class Scanner:
    """tests/tools/scanner.exe watching a folder tree, holding each new or changed file for `hold_ms`."""

    def __init__(self, folder, tmp, hold_ms=150):
        self.ready, self.stop_file, self.log = tmp / "scanner.ready", tmp / "scanner.stop", tmp / "scanner.log"
        self.proc = subprocess.Popen(["wine", str(harness.TOOLS / "scanner.exe"), harness.winpath(folder),
                                      str(hold_ms), harness.winpath(self.ready), harness.winpath(self.stop_file),
                                      harness.winpath(self.log)],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 20
        while not self.ready.exists() and time.time() < deadline:
            time.sleep(0.05)
        assert self.ready.exists(), "the scanner did not start"

    def stop(self):
        """How many files it held."""
        self.stop_file.write_bytes(b"")
        self.proc.wait(timeout=30)
        return int(self.log.read_text().split()[0]) if self.log.exists() else 0


def test_files_a_scanner_holds_for_a_moment_arrive(world):
    root = world.machine.install(version=V)
    data = {"Default.npj": b"project", **{f"scan{i:03d}.dcm": bytes([i]) * 4096 for i in range(100)}}
    reference = {f"Maker/part{i}.stl": bytes([i]) * 2048 for i in range(10)}
    world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V)).data(data)
    world.disc.data(reference, folder="ImplantDB")
    patient = root / "Patient" / "A1"
    patient.mkdir()
    # Earlier copies that every file replaces, and that the scanner holds too when they change.
    for name in data:
        (patient / name).write_bytes(b"earlier")
    scanner = Scanner(root, world.tmp)
    try:
        run, rc = world.run(timeout=120)
    finally:
        held = scanner.stop()
    assert rc == 0
    assert held > 0, "the scanner held nothing: the test did not test"
    results = copy_results(world)
    assert [n for n, r in results.items() if r != "Success"] == []
    assert len(results) == len(data) + len(reference)
    for name, content in data.items():
        assert (patient / name).read_bytes() == content, name
    for name, content in reference.items():
        assert (root / "ImplantDB" / name).read_bytes() == content, name
    assert not [p for p in root.rglob("*") if p.name.lower().endswith(".tmp")]
    assert len(harness.started_command_lines(root / "Tovi2009.exe")) == 1


def test_a_reference_folder_moved_to_another_volume_is_copied_into(world, tmp_path_factory):
    """A clinic moved ImplantDB\\Maker to another drive and left a link in its place: a rename cannot cross volumes, so
    that folder's files are staged on its own volume. A Unix link to another file system (/dev/shm) is such a
    crossing under Wine, as a junction or mount point to another volume is on Windows."""
    world.expect_warning()  # a failure here is the fault this test is about: the file results below tell it
    root = world.machine.install(version=V)
    elsewhere = Path(tempfile.mkdtemp(dir="/dev/shm", prefix="autorun-volume-"))
    try:
        (elsewhere / "Maker").mkdir()
        (elsewhere / "Maker" / "old.stl").write_bytes(b"earlier")
        (root / "ImplantDB" / "Maker").symlink_to(elsewhere / "Maker", target_is_directory=True)
        world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V)).data({"Default.npj": b"p"})
        world.disc.data({"index.db": b"root", "Maker/old.stl": b"new", "Maker/Deep/new.stl": b"deep"},
                        folder="ImplantDB")
        run, rc = world.run(timeout=60)
        assert rc == 0
        results = copy_results(world)
        assert results == {"Default.npj": "Success", "index.db": "Success", "old.stl": "Success",
                           "new.stl": "Success"}, results
        assert (elsewhere / "Maker" / "old.stl").read_bytes() == b"new"
        assert (elsewhere / "Maker" / "Deep" / "new.stl").read_bytes() == b"deep"
        assert not [p for p in elsewhere.rglob("*") if p.name.lower().endswith(".tmp")]
        assert world.warnings.texts() == []
    finally:
        shutil.rmtree(elsewhere, ignore_errors=True)
