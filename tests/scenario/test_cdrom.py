"""The disc as it reaches a patient: made with suidtool make-disc, written to an ISO image with suidtool iso,
read from a read-only CD-ROM drive. The tests run as root, where Wine does not enforce Windows' read-only
marks; the files still carry them (no write bit), as files on a real disc do."""
import os
import shutil
import stat

import pytest

import harness
from cdrom import DRIVE_TYPE_CDROM, CdromDrive, extract_image, run_launcher, set_writable, suidtool

ID = "20091118_KIM"
V = (1, 2, 3, 4)
PATIENT_FILES = {"Default.npj": b"project", "scan.dcm": b"x" * 5000, "teeth.stl": b"mesh" * 100}
REFERENCE_FILES = {"index.db": b"root", "Maker/Line/fixture.stl": b"deep", "Maker/Line/fixture.ini": b"[x]"}
SUB_SECOND = 1_577_934_245_678_901_234  # the image keeps whole seconds only


def write_files(root, files):
    for name, content in files.items():
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content)
        os.utime(path, ns=(SUB_SECOND, SUB_SECOND))


@pytest.fixture(scope="module")
def disc(tmp_path_factory):
    """R:, a CD-ROM drive holding the extracted image of a disc made by suidtool, for the whole module: it is
    mapped before any test's debug listener starts, because mapping restarts the Wine server."""
    work = tmp_path_factory.mktemp("cdrom")
    write_files(work / "patient", PATIENT_FILES)
    (work / "patient" / "Series.1").mkdir()
    write_files(work / "implantdb", REFERENCE_FILES)
    (work / "viewer" / "Setup").mkdir(parents=True)
    shutil.copy(harness.TOOLS / "stub.exe", work / "viewer" / "Tovi2009.exe")
    shutil.copy(harness.TOOLS / "stub.exe", work / "viewer" / "Setup" / "Setup.exe")
    folder = work / "disc"
    suidtool("make-disc", "--out", folder, "--patient", work / "patient", "--id", ID, "--mode", "DiscStudio",
             "--version", ".".join(map(str, V)), "--implantdb", work / "implantdb", "--viewer", work / "viewer",
             "--autorun", harness.AUTORUN)
    report = suidtool("check", folder)
    suidtool("iso", folder, work / "disc.iso")
    mounted = work / "mounted"
    extract_image(work / "disc.iso", mounted)
    times = {}
    for dirpath, _, files in os.walk(folder):
        for name in files:
            path = os.path.join(dirpath, name)
            times[os.path.relpath(path, folder)] = os.stat(path).st_mtime_ns
    for name, mtime in times.items():
        assert os.stat(mounted / name).st_mtime_ns == mtime // 10**9 * 10**9, name
    set_writable(mounted, False)
    drive = CdromDrive("r:", mounted)
    drive.map()
    try:
        yield drive, report
    finally:
        drive.unmap()
        set_writable(mounted, True)
        shutil.rmtree(work, ignore_errors=True)


def copy_lines(world):
    return [line for line in world.debug_lines() if line.startswith("Copy File : ")]


def viewer_command_lines(root, count):
    return harness.started_command_lines(root / "Tovi2009.exe", count=count)


def test_patient_disc_from_a_cdrom_drive(disc, world):
    drive, report = disc
    assert drive.drive_type() == DRIVE_TYPE_CDROM
    root = world.machine.install(version=V)
    assert run_launcher(f"{drive.root}\\autorun.exe", world.tmp) == 0

    patient = root / "Patient" / ID
    assert sorted(p.name for p in patient.iterdir()) == sorted([*PATIENT_FILES, "Series.1"])
    assert list((patient / "Series.1").iterdir()) == []
    for name, content in PATIENT_FILES.items():
        assert (patient / name).read_bytes() == content
        assert os.stat(patient / name).st_mtime_ns == SUB_SECOND // 10**9 * 10**9, name  # the disc's time
    for name, content in REFERENCE_FILES.items():
        assert (root / "ImplantDB" / name).read_bytes() == content
    # What check promised is what the viewer got.
    promised = next(line for line in report.splitlines() if "then command line: " in line)
    lines = viewer_command_lines(root, 1)
    assert lines == [promised.split("then command line: ", 1)[1]]
    assert harness.arguments_of(lines[0]) == f"DiscStudio#{ID}#C:\\Tovi2009\\Patient\\{ID}\\Default.npj"
    expected = {f"Copy File : R:\\Data\\{n} => C:\\Tovi2009\\Patient\\{ID}\\{n} : Success\n" for n in PATIENT_FILES}
    expected |= {f"Copy File : R:\\ImplantDB\\{n} => C:\\Tovi2009\\ImplantDB\\{n} : Success\n".replace("/", "\\")
                 for n in REFERENCE_FILES}
    first = copy_lines(world)
    assert sorted(first) == sorted(expected)

    # Again: the disc's whole-second times match the copies' exactly, so only what must be copied is.
    assert run_launcher(f"{drive.root}\\autorun.exe", world.tmp) == 0
    second = copy_lines(world)[len(first):]
    assert sorted(second) == sorted(
        [f"Copy File : R:\\Data\\Default.npj => C:\\Tovi2009\\Patient\\{ID}\\Default.npj : Success\n"] +
        [line for line in expected if "\\ImplantDB\\" in line])
    assert len(viewer_command_lines(root, 2)) == 2


def test_copies_from_a_cdrom_can_be_written(disc, world):
    drive, _ = disc
    root = world.machine.install(version=V)
    assert run_launcher(f"{drive.root}\\autorun.exe", world.tmp) == 0
    project = root / "Patient" / ID / "Default.npj"
    assert project.read_bytes() == PATIENT_FILES["Default.npj"]
    # The disc's read-only mark does not come along: the viewer saves the project it is started on.
    assert os.stat(project).st_mode & stat.S_IWUSR
    assert os.stat(root / "ImplantDB" / "index.db").st_mode & stat.S_IWUSR
