"""What the person at the PC is told when a transfer lost files: a warning before the viewer opens, with the count of
patient files (of how many) and of reference files not copied; nothing when every file arrived."""
import subprocess
import time

import harness
from faultyfs import FaultyFolder, Served
from harness import suid_text
from test_reliability import HeldFile, copy_results

V = (1, 2, 3, 4)


def warning_on_screen(tmp, answer="none", timeout_ms=60000):
    """The warning box's text once it shows (answered `answer`: ok or none), or None."""
    out = tmp / f"warning-{time.monotonic_ns()}.txt"
    rc = subprocess.run(["wine", str(harness.TOOLS / "clicker.exe"), harness.WARNING_CAPTION, answer,
                         str(timeout_ms), harness.winpath(out)], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                        stderr=subprocess.DEVNULL, timeout=timeout_ms / 1000 + 30).returncode
    if rc != 0 or not out.exists():
        return None
    return out.read_bytes().decode("cp949", "replace").rstrip("\n").rpartition("\n")[0]


def disc_with_reference(world, data, reference):
    world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V))
    world.disc.data(data)
    world.disc.data(reference, folder="ImplantDB")


def test_files_not_copied_are_told_before_the_viewer_starts(world):
    # This test answers the box itself, to see the viewer wait for it.
    world.warnings.stop()
    root = world.machine.install(version=V)
    disc_with_reference(world, {"Default.npj": b"p", "a.dcm": b"a", "b.dcm": b"new b", "c.dcm": b"c"},
                        {"ok.stl": b"fine", "held.stl": b"new"})
    (root / "ImplantDB" / "held.stl").write_bytes(b"earlier")
    viewer = root / "Tovi2009.exe"
    # A patient file the disc cannot give (read fails) and a reference file another program holds (cannot be replaced).
    unreadable = HeldFile(world.disc.root / "Data" / "b.dcm", world.tmp)
    held = HeldFile(root / "ImplantDB" / "held.stl", world.tmp)
    run = world.start()
    try:
        text = warning_on_screen(world.tmp, "none")
        assert text is not None, "no warning"
        assert "Patient files not copied: 1 of 4" in text
        assert "Reference files not copied: 1" in text
        assert "insert it again" in text
        time.sleep(1)
        assert harness.started_command_lines(viewer, wait=0) == [], "the viewer started before OK"
        assert run.running()
        assert warning_on_screen(world.tmp, "ok") is not None
        assert run.wait(30) == 0
    finally:
        unreadable.release()
        held.release()
        run.kill()
    assert len(harness.started_command_lines(viewer)) == 1
    results = copy_results(world)
    assert results["b.dcm"] == "Failed" and results["held.stl"] == "Failed" and results["a.dcm"] == "Success"


def test_no_warning_when_every_file_arrives(world):
    root = world.machine.install(version=V)
    disc_with_reference(world, {"Default.npj": b"p", "a.dcm": b"a"}, {"Maker/ok.stl": b"fine"})
    run, rc = world.run()
    assert rc == 0
    assert len(harness.started_command_lines(root / "Tovi2009.exe")) == 1
    # Once more with everything in place: the unchanged files are skipped, which is no failure either.
    run, rc = world.run()
    assert rc == 0
    assert world.warnings.texts() == []


def test_a_lost_reference_file_alone_is_told(world):
    world.expect_warning()
    root = world.machine.install(version=V)
    disc_with_reference(world, {"Default.npj": b"p"}, {"one.stl": b"1", "two.stl": b"2"})
    (root / "ImplantDB" / "two.stl").write_bytes(b"earlier")
    held = HeldFile(root / "ImplantDB" / "two.stl", world.tmp)
    try:
        run, rc = world.run(timeout=60)
    finally:
        held.release()
    assert rc == 0
    texts = world.warnings.texts()
    assert len(texts) == 1
    assert "Patient files not copied: 0 of 1" in texts[0] and "Reference files not copied: 1" in texts[0]
    assert len(harness.started_command_lines(root / "Tovi2009.exe")) == 1


def run_with_temp(world, temp, **kw):
    # Wine sets TEMP itself at every start: a Windows parent changes it, as a user's settings would.
    return world.run(env={"TEMP": harness.winpath(temp), "TMP": harness.winpath(temp)}, wrapper=True, **kw)


def test_the_run_is_logged_for_support(world):
    world.expect_warning()
    world.machine.install(version=V)
    disc_with_reference(world, {"Default.npj": b"p", "a.dcm": b"a", "b.dcm": b"b"}, {"ok.stl": b"fine"})
    temp = world.tmp / "temp"
    temp.mkdir()
    # The log of earlier runs has grown past its bound: it is kept as the previous log, and this run starts anew.
    earlier = b"earlier run\r\n" * 25000
    (temp / "autorun.log").write_bytes(earlier)
    unreadable = HeldFile(world.disc.root / "Data" / "b.dcm", world.tmp)
    try:
        run, rc = run_with_temp(world, temp)
    finally:
        unreadable.release()
    assert rc == 0
    assert (temp / "autorun.log.1").read_bytes() == earlier
    log = (temp / "autorun.log").read_bytes().decode("cp949").split("\r\n")
    assert log[0].startswith("==== autorun ") and log[0].endswith("\\autorun.exe")
    assert 'disc: mode "DiscStudio", ID "A1", version 1.2.3.4, in ' in "\n".join(log)
    # Every debug line of the run, as the debug output had it.
    debug = [l.rstrip("\n") for l in world.debug_lines()]
    assert debug and all(l in log for l in debug), set(debug) - set(log)
    assert log[-2] == ("outcome: transfer ended, the installed viewer started; patient files not copied: 1 of 3; "
                       "reference files not copied: 0")
    # The next run appends; a run that makes no transfer tells its own outcome.
    world.disc.suid(suid_text(mode="Clarivue", sid="A1", version=V)).viewer()
    run, rc = run_with_temp(world, temp)
    assert rc == 0
    log = (temp / "autorun.log").read_bytes().decode("cp949").split("\r\n")
    assert sum(l.startswith("==== autorun ") for l in log) == 2
    assert log[-2] == "outcome: the disc's viewer started"


def test_a_log_that_cannot_be_written_changes_nothing(world):
    root = world.machine.install(version=V)
    disc_with_reference(world, {"Default.npj": b"p", "a.dcm": b"a"}, {"ok.stl": b"fine"})
    run, rc = run_with_temp(world, world.tmp / "no such folder")
    assert rc == 0
    assert (root / "Patient" / "A1" / "a.dcm").read_bytes() == b"a"
    assert len(harness.started_command_lines(root / "Tovi2009.exe")) == 1


def test_files_a_broken_listing_did_not_reach_are_told(world):
    """A listing of the disc that breaks off (the disc taken out, a bad sector in a folder's list) is no end of the
    folder: the files it did not reach are not copied either, a debug line says so, and the box counts them. The
    count before the copy lists Data whole, the walk before the reference copy lists ImplantDB whole; the copies' own
    listings of both break after their first portion (faultyfs: listing_breaks). A folder below ImplantDB cannot be
    served so: Wine reports a mount point as a link, which the reference copy does not follow."""
    world.expect_warning()
    root = world.machine.install(version=V)
    world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V))
    data = {"Default.npj": Served(b"p"), **{f"s{i:03d}.dcm": Served(b"%03d;" % i * 20) for i in range(199)}}
    maker = {f"part{i:03d}.stl": Served(b"%03d;" % i * 20) for i in range(150)}
    with FaultyFolder(world.disc.root / "Data", data, listing_breaks=True) as served_data, \
            FaultyFolder(world.disc.root / "ImplantDB", maker, listing_breaks=True) as served_maker:
        run, rc = world.run(timeout=120)
        assert served_data.broken_listings and served_maker.broken_listings, "no listing broke: the test did not test"
    assert rc == 0
    results = copy_results(world)
    assert "Failed" not in results.values()
    patient = sum(name in data for name in results)
    reference = sum(name in maker for name in results)
    assert 0 < patient < len(data) and 0 < reference < len(maker), (patient, reference)
    broken = [line for line in world.debug_lines() if line.startswith("List Folder : ")]
    assert len(broken) == 2 and "\\Data : Failed" in broken[0] and "\\ImplantDB : Failed" in broken[1], broken
    texts = world.warnings.texts()
    assert len(texts) == 1, texts
    assert f"Patient files not copied: {len(data) - patient} of {len(data)}" in texts[0], texts[0]
    assert f"Reference files not copied: {len(maker) - reference}" in texts[0], texts[0]
    assert "Clean the disc and insert it again" in texts[0]
    assert len(harness.started_command_lines(root / "Tovi2009.exe")) == 1
