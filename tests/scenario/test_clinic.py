"""The copy on a clinic's PC, where other programs take part: an on-access scanner that opens every new file for a
moment without delete sharing, as antivirus, the search indexer and backup agents do; a folder of the installation on
another volume; an installation on a share that two computers copy into at once; a staging folder removed under a
running copy."""
import shutil
import subprocess
import tempfile
import threading
import time
from contextlib import contextmanager
from pathlib import Path

import pytest

import harness
from harness import suid_text
from test_faults import debris
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
        harness.stop_tool(self.proc, self.stop_file, timeout=30)
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


@contextmanager
def maker_on_another_volume(root: Path, earlier: dict):
    """ImplantDB\\Maker of the installation moved to another volume, a link left in its place, with `earlier` files
    (name -> bytes) in it. A Unix link to another file system (/dev/shm) is such a crossing under Wine, as a junction
    or mount point to another volume is on Windows. Yields the folder the link leads to."""
    elsewhere = Path(tempfile.mkdtemp(dir="/dev/shm", prefix="autorun-volume-"))
    try:
        (elsewhere / "Maker").mkdir()
        for name, content in earlier.items():
            (elsewhere / "Maker" / name).write_bytes(content)
        (root / "ImplantDB" / "Maker").symlink_to(elsewhere / "Maker", target_is_directory=True)
        yield elsewhere
    finally:
        shutil.rmtree(elsewhere, ignore_errors=True)


def test_a_reference_folder_moved_to_another_volume_is_copied_into(world, tmp_path_factory):
    """A clinic moved ImplantDB\\Maker to another drive and left a link in its place: a rename cannot cross volumes, so
    that folder's files are staged on its own volume."""
    world.expect_warning()  # a failure here is the fault this test is about: the file results below tell it
    root = world.machine.install(version=V)
    with maker_on_another_volume(root, {"old.stl": b"earlier"}) as elsewhere:
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


def test_a_name_the_listing_misses_on_another_volume_is_staged_there(world):
    """In a folder on another volume, a file whose installed name differs from the disc's only in the case of a
    letter outside ASCII (Cyrillic in code page 949): one name to the file system, two to the listing, which folds
    ASCII only. Its first copy finds the target there, and the copy that replaces it takes that volume's road as every
    other file there does, not the staging folder of the volume above, whose rename cannot cross."""
    root = world.machine.install(version=V)
    with maker_on_another_volume(root, {"Ж.stl": b"earlier"}) as elsewhere:
        world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V)).data({"Default.npj": b"p"})
        world.disc.data({"index.db": b"root", "Maker/ж.stl": b"new"}, folder="ImplantDB")
        run, rc = world.run(timeout=60, env={"LC_ALL": "ko_KR.UTF-8"})
        assert rc == 0
        results = copy_results(world)
        assert results == {"Default.npj": "Success", "index.db": "Success", "ж.stl": "Success"}, results
        assert [p.read_bytes() for p in (elsewhere / "Maker").iterdir()] == [b"new"]
        assert debris(elsewhere) == [] and debris(root) == []


def failed(listener):
    return sorted(target for target, result in listener.copy_results().items() if result != "Success")


def differing(source: Path, copy: Path):
    """The files of `source` that `copy` lacks or holds with other bytes."""
    return sorted(str(p.relative_to(source)) for p in source.rglob("*")
                  if p.is_file() and (not (copy / p.relative_to(source)).is_file()
                                      or (copy / p.relative_to(source)).read_bytes() != p.read_bytes()))


@pytest.fixture
def second_computer(world):
    second = harness.SecondWorld(world.tmp)
    yield second
    second.stop()


def test_two_computers_copy_into_one_shared_installation_at_once(world, second_computer):
    """Two Wine worlds are two computers: their own process ids, their own handles. The second one's launcher starts
    while the first copies a large reference database into the installation both use, and must take the first one's
    staging folder for one in use, not for the leftover of a process it cannot find."""
    shared = world.tmp / "share" / "Tovi2009"
    reference_root = shared / "ImplantDB"
    folder = harness.winpath(shared)
    world.machine.install(folder=folder, version=V)
    harness.Machine(world.tmp, env=second_computer.env).install(folder=folder, version=V)
    makers = [f"Maker{m:02d}" for m in range(40)]
    reference = {f"{m}/f{i:03d}.stl": (b"%s-%03d;" % (m.encode(), i)) * 20 for m in makers for i in range(300)}
    # An earlier disc's reference database: this one replaces every file of it, each through a staging folder.
    harness.write_tree(shared / "ImplantDB", {name: b"earlier" for name in reference})

    first = world.disc
    first.suid(suid_text(mode="DiscStudio", sid="A1", version=V)).data({"Default.npj": b"p", "a.dcm": b"a"})
    first.data(reference, folder="ImplantDB")
    second = harness.Disc(world.tmp / "disc2")
    second.suid(suid_text(mode="DiscStudio", sid="B1", version=V)).data({"Default.npj": b"q", "b.dcm": b"b"})
    second.data({"index.db": b"b", **{f"{m}/b-only.stl": b"b" for m in makers}}, folder="ImplantDB")
    second_debug = harness.DebugListener(world.tmp, env=second_computer.env, name="dbwin2")
    try:
        run = world.start()
        try:
            deadline = time.time() + 60
            while not debris(reference_root) and run.running() and time.time() < deadline:
                time.sleep(0.02)
            assert debris(reference_root), "the first computer's reference copy was not seen"
            in_use = {name: (reference_root / name).stat().st_ino for name in debris(reference_root)}
            other = harness.Run(second.exe, world.tmp, env={"WINEPREFIX": second_computer.env["WINEPREFIX"]})
            assert other.wait(120) == 0
            # Left alone, not removed and made again by its owner.
            assert {name: (reference_root / name).stat().st_ino for name in in_use
                    if (reference_root / name).exists()} == in_use
            assert len(world.debug.copy_results()) < len(reference), \
                "the first computer's copy ended before the second computer's launcher"
            assert run.wait(300) == 0
        finally:
            run.kill()
    finally:
        second_debug.stop()
    assert failed(world.debug) == []
    assert failed(second_debug) == []
    assert len(world.debug.copy_results()) == 2 + len(reference)
    assert len(second_debug.copy_results()) == 2 + 1 + len(makers)
    assert differing(first.root / "ImplantDB", shared / "ImplantDB") == []
    assert differing(second.root / "ImplantDB", shared / "ImplantDB") == []
    assert differing(first.root / "Data", shared / "Patient" / "A1") == []
    assert differing(second.root / "Data", shared / "Patient" / "B1") == []
    assert debris(shared) == []


# A cleanup that misjudges a staging folder is another launcher's, started on another computer of the share (or by
# another user) while this one copies: it runs once at that launcher's start. Even a busy clinic starts a few of them
# during one transfer, never one every few milliseconds. One removal costs the file in flight at most two of the 4
# rounds the launcher gives a file, so cleanups that each come a few files after the last stay within what it must
# survive, however slow the machine.
MISJUDGING_CLEANUPS = 3


def test_a_staging_folder_removed_under_a_copy_is_made_again(world):
    """As a cleanup that misjudged it would (another computer's, another user's): the launcher makes its staging folder
    and its staged copy again, and every file arrives."""
    root = world.machine.install(version=V)
    world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V))
    world.disc.data({"Default.npj": b"p", **{f"s{i:04d}.dcm": (b"%04d" % i) * 500 for i in range(1500)}})
    patient = root / "Patient" / "A1"
    patient.mkdir()
    # Earlier copies of another time: every file is replaced, through the staging folder.
    for name in world.disc.root.joinpath("Data").iterdir():
        (patient / name.name).write_bytes(b"earlier")
    removed = []
    done = threading.Event()

    def misjudging_cleanups():
        # Each cleanup comes when the launcher has a staging folder again and has handled two more files since the
        # last one: the file that cleanup cost a round is behind it by then.
        handled_then = -2
        while len(removed) < MISJUDGING_CLEANUPS and not done.wait(0.01):
            folders = list(patient.glob("~autorun-*"))
            handled = len(world.debug.copy_results())
            if folders and handled >= handled_then + 2:
                for folder in folders:
                    shutil.rmtree(folder, ignore_errors=True)
                removed.append([f.name for f in folders])
                handled_then = handled

    remover = threading.Thread(target=misjudging_cleanups)
    run = world.start()
    remover.start()
    try:
        assert run.wait(180) == 0
    finally:
        done.set()
        remover.join()
        run.kill()
    assert removed, "no staging folder was removed while the launcher copied"
    assert failed(world.debug) == []
    assert differing(world.disc.root / "Data", patient) == []
    assert debris(root) == []
