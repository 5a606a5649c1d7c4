"""The whole road of a patient disc: progress window, copy, reference database, hand-off, exit."""
import os
import subprocess

import harness
from harness import suid_text

V = (1, 2, 3, 4)
ARTIFACTS = harness.ROOT / "build" / "artifacts"


def copy_lines(world):
    return [l for l in world.debug_lines() if l.startswith("Copy File : ")]


def viewer_arguments(root, count=1):
    return [harness.arguments_of(l) for l in harness.started_command_lines(root / "Tovi2009.exe", count=count)]


def patient_disc(world, sid="A1", mode="DiscStudio"):
    world.disc.suid(suid_text(mode=mode, sid=sid, version=V, plain=False))
    world.disc.data({"Default.NPJ": b"project", "scan.dcm": b"x" * 5000, "Series.1": None,
                     "Series.1/inner.dcm": b"inner"})
    world.disc.data({"index.db": b"root", "Maker/Line/fixture.stl": b"deep", "Maker/Empty": None}, folder="ImplantDB")


def test_whole_road(world):
    root = world.machine.install(version=V)
    patient_disc(world)
    run, rc = world.run()
    assert rc == 0
    patient = root / "Patient" / "A1"
    assert sorted(p.name for p in patient.iterdir()) == ["Default.NPJ", "Series.1", "scan.dcm"]
    assert list((patient / "Series.1").iterdir()) == []
    assert (patient / "scan.dcm").read_bytes() == b"x" * 5000
    src = world.disc.root / "Data" / "scan.dcm"
    assert os.stat(patient / "scan.dcm").st_mtime_ns // 100 == os.stat(src).st_mtime_ns // 100
    assert (root / "ImplantDB" / "Maker" / "Line" / "fixture.stl").read_bytes() == b"deep"
    assert (root / "ImplantDB" / "Maker" / "Empty").is_dir()
    assert viewer_arguments(root) == ["DiscStudio#A1#C:\\Tovi2009\\Patient\\A1\\Default.npj"]
    disc = harness.winpath(world.disc.root)
    expected = {f"Copy File : {disc}\\Data\\{n} => C:\\Tovi2009\\Patient\\A1\\{n} : Success\n"
                for n in ("Default.NPJ", "scan.dcm")}
    expected |= {f"Copy File : {disc}\\ImplantDB\\{n} => C:\\Tovi2009\\ImplantDB\\{n} : Success\n"
                 for n in ("index.db", "Maker\\Line\\fixture.stl")}
    assert set(copy_lines(world)) == expected and len(copy_lines(world)) == 4
    # Nothing else is left behind: no temporary files, no window, no process.
    assert not [p for p in root.rglob("*") if p.name.lower().endswith(".tmp")]


def test_second_run_copies_only_the_project_and_the_reference_database(world):
    root = world.machine.install(version=V)
    patient_disc(world)
    world.run()
    first = len(copy_lines(world))
    run, rc = world.run()
    assert rc == 0
    second = copy_lines(world)[first:]
    assert sorted(l.split(" => ")[1].split(" : ")[0] for l in second) == [
        "C:\\Tovi2009\\ImplantDB\\Maker\\Line\\fixture.stl", "C:\\Tovi2009\\ImplantDB\\index.db",
        "C:\\Tovi2009\\Patient\\A1\\Default.NPJ"]
    assert len(viewer_arguments(root, count=2)) == 2


def test_changed_file_is_replaced_and_read_only_reference_files_too(world):
    root = world.machine.install(version=V)
    patient_disc(world)
    world.run()
    target = root / "Patient" / "A1" / "scan.dcm"
    target.write_bytes(b"y" * 5000)
    os.utime(target, (1, 1))  # same size, older time
    ref = root / "ImplantDB" / "index.db"
    ref.write_bytes(b"stale")
    os.chmod(ref, 0o444)  # read-only for Windows
    world.run()
    assert target.read_bytes() == b"x" * 5000
    assert ref.read_bytes() == b"root"


def test_missing_patient_folder_fails_every_file_and_still_hands_over(world):
    world.expect_warning()  # files fail on purpose: the box that tells so is answered
    root = world.machine.install(version=V, patient=False)
    patient_disc(world)
    run, rc = world.run()
    assert rc == 0
    lines = copy_lines(world)
    assert [l for l in lines if "\\Patient\\" in l and l.endswith(" : Failed\n")] and \
        not [l for l in lines if "\\Patient\\" in l and l.endswith(" : Success\n")]
    assert viewer_arguments(root) == ["DiscStudio#A1#C:\\Tovi2009\\Patient\\A1\\Default.npj"]


def test_empty_data_and_no_reference_database_still_hand_over(world):
    root = world.machine.install(version=V, folder="C:\\Viewer Folder")
    world.disc.suid(suid_text(mode="DiscStudio_Lite", sid="B 2", version=V))
    (world.disc.root / "Data").mkdir()
    run, rc = world.run()
    assert rc == 0
    assert copy_lines(world) == []
    assert (root / "Patient" / "B 2").is_dir()
    assert viewer_arguments(root) == ["DiscStudio_Lite#B 2#C:\\Viewer Folder\\Patient\\B 2\\Default.npj"]


def test_progress_window_while_copying(world):
    """Shows the window long enough to look at it: many small files. Saves a screenshot."""
    COUNT = 3000
    root = world.machine.install(version=V)
    world.disc.suid(suid_text(mode="DiscStudio", sid="S1", version=V))
    world.disc.data({f"slice{i:04d}.dcm": b"d" * 64 for i in range(COUNT)})
    run = world.start()
    try:
        windows = harness.wait_for_progress_window(world.tmp)
        ARTIFACTS.mkdir(parents=True, exist_ok=True)
        subprocess.run(["/usr/bin/import", "-window", "root", str(ARTIFACTS / "progress-window.png")],
                       stdin=subprocess.DEVNULL, capture_output=True, timeout=30)
        assert run.wait(120) == 0
    finally:
        run.kill()
    tops = [w for w in windows if not w.startswith("  ") and w.split(" ")[1] == "1"]
    assert len(tops) == 1 and "#32770" in tops[0], windows
    controls = [w.strip() for w in windows if w.startswith("  ")]
    bar = [c for c in controls if c.startswith("1000 ")]
    assert bar and f"range=0..{COUNT}" in bar[0], controls
    assert len(list((root / "Patient" / "S1").iterdir())) == COUNT
    assert len(viewer_arguments(root)) == 1
