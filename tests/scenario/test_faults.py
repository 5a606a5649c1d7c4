"""Faults a clinic meets during a transfer, through the real launcher: a scratched disc whose reads fail part-way,
names and IDs in double-byte code pages, a launcher cut off in the middle of a copy, two launchers copying the same
patient, a reference database with links that loop. Nothing is lost, nothing is left behind, nothing hangs."""
import os
import subprocess
import time
from pathlib import Path

import pytest

import harness
from faultyfs import FaultyFolder, Served
from harness import suid_text

V = (0, 0, 0, 0)
MB = 1 << 20
FAILING_FS = Path(__file__).resolve().parent / "failing_fs.py"


def copy_results(world, encoding="cp949"):
    """Target path -> "Success" or "Failed", from the launcher's debug lines."""
    return world.debug.copy_results(encoding)


def debris(folder: Path):
    """What a copy may leave behind: staging folders and the temporary files of earlier launchers."""
    return sorted(str(p.relative_to(folder)) for p in folder.rglob("*")
                  if p.name.startswith("~autorun-") or p.name.lower().startswith("~cpy"))


def viewer_arguments(root: Path, encoding="cp949", count=1):
    log = root / "Tovi2009.exe.log"
    deadline = time.time() + 5
    while time.time() < deadline and not (log.exists() and len(log.read_bytes().splitlines()) >= count):
        time.sleep(0.05)
    lines = log.read_bytes().decode(encoding).splitlines() if log.exists() else []
    return [harness.arguments_of(line) for line in lines]


# --- a disc whose reads fail part-way ------------------------------------------------------------------------

@pytest.fixture
def scratched(world):
    """Mounts a folder of the disc from a file system on which the named files cannot be read past an offset."""
    if not Path("/dev/fuse").exists():
        pytest.skip("no /dev/fuse on this machine: a disc whose reads fail cannot be served")
    mounts = []

    def mount(folder: str, files: dict, failing: list, fail_after: int):
        backing = world.tmp / f"{folder}-backing"
        harness.write_tree(backing, files)
        point = world.disc.root / folder
        point.mkdir()
        log = open(world.tmp / f"{folder}-fuse.log", "wb")
        proc = subprocess.Popen(["/usr/bin/python3", str(FAILING_FS), str(backing), str(point), str(fail_after),
                                 *failing], stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        mounts.append((point, proc, log))
        deadline = time.time() + 10
        while not os.path.ismount(point):
            assert proc.poll() is None and time.time() < deadline, (world.tmp / f"{folder}-fuse.log").read_text()
            time.sleep(0.05)
        # Served as the disc: a name the search lists, a size it reports, and reads that fail past the offset.
        with open(point / failing[0], "rb") as f:
            with pytest.raises(OSError):
                f.read()

    yield mount
    for point, proc, log in mounts:
        unmount = ["umount", str(point)] if os.geteuid() == 0 else ["fusermount", "-u", str(point)]
        if subprocess.run(unmount, capture_output=True).returncode != 0:
            subprocess.run(unmount[:-1] + ["-z" if unmount[0] == "fusermount" else "-l", str(point)],
                           capture_output=True)
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
        log.close()


def test_a_copy_cut_short_by_a_read_error_is_a_failed_copy(world, scratched):
    world.expect_warning()  # files fail on purpose: the box that tells so is answered
    root = world.machine.install(version=V)
    patient = root / "Patient" / "A1"
    patient.mkdir()
    earlier = bytes([7]) * (2 * MB + 100 * 1024)
    (patient / "scan.dcm").write_bytes(earlier)
    (root / "ImplantDB" / "ref.stl").write_bytes(b"earlier reference")
    world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V))
    scratched("Data", {"Default.npj": b"p", "scan.dcm": bytes([1]) * (4 * MB), "new.dcm": bytes([2]) * (3 * MB),
                       "whole.dcm": b"w" * 1000}, ["scan.dcm", "new.dcm"], MB)
    scratched("ImplantDB", {"ref.stl": bytes([3]) * (2 * MB), "fresh.stl": bytes([4]) * (2 * MB), "ok.stl": b"ok"},
              ["ref.stl", "fresh.stl"], MB)
    run, rc = world.run(timeout=60)
    assert rc == 0
    results = {Path(harness.unixpath(target)).name: result for target, result in copy_results(world).items()}
    assert results == {"Default.npj": "Success", "scan.dcm": "Failed", "new.dcm": "Failed", "whole.dcm": "Success",
                       "ref.stl": "Failed", "fresh.stl": "Failed", "ok.stl": "Success"}
    # The earlier copies stay as they were; a file never copied whole is not there at all.
    assert (patient / "scan.dcm").read_bytes() == earlier
    assert not (patient / "new.dcm").exists()
    assert (root / "ImplantDB" / "ref.stl").read_bytes() == b"earlier reference"
    assert not (root / "ImplantDB" / "fresh.stl").exists()
    assert (root / "ImplantDB" / "ok.stl").read_bytes() == b"ok"
    assert debris(root) == []
    assert viewer_arguments(root) == ["DiscStudio#A1#C:\\Tovi2009\\Patient\\A1\\Default.npj"]


# --- double-byte code pages ----------------------------------------------------------------------------------

# Each name's second byte in its code page is 0x5C ('\') or 0x7C ('|'): read byte by byte, a separator or a
# character Windows forbids in names.
CODE_PAGES = {
    "932": ("ja_JP.UTF-8", "cp932", "表", ["表.dcm", "ソ.dcm", "ポ.dcm"], "十", "予約"),
    "936": ("zh_CN.UTF-8", "cp936", "乗", ["乗.dcm", "亅.dcm", "億.dcm"], "俓", "僜"),
}


@pytest.mark.parametrize("code_page", list(CODE_PAGES))
def test_names_and_ids_in_a_double_byte_code_page(world, code_page):
    locale, encoding, sid, names, folder_name, install_name = CODE_PAGES[code_page]
    for text in [sid, *names, folder_name, install_name]:
        assert any(b in (0x5C, 0x7C) for b in text.encode(encoding)[1::2]), text
    folder = f"C:\\Tovi2009\\{install_name}"
    root = world.machine.install(version=V, folder=folder)
    world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V).decode("ascii").replace("A1", sid)
                    .encode(encoding))
    files = {"Default.npj": b"p", **{name: name.encode("utf-8") * 3 for name in names}, folder_name: None,
             f"{folder_name}/inner.dcm": b"x"}
    world.disc.data(files)
    world.disc.data({f"{folder_name}/{names[0]}": b"reference"}, folder="ImplantDB")
    run, rc = world.run(env={"LC_ALL": locale})
    assert rc == 0
    patient = root / "Patient" / sid
    assert sorted(p.name for p in patient.iterdir()) == sorted(["Default.npj", *names, folder_name])
    for name in names:
        assert (patient / name).read_bytes() == name.encode("utf-8") * 3, name
    assert list((patient / folder_name).iterdir()) == []
    assert (root / "ImplantDB" / folder_name / names[0]).read_bytes() == b"reference"
    assert viewer_arguments(root, encoding) == [f"DiscStudio#{sid}#{folder}\\Patient\\{sid}\\Default.npj"]
    results = copy_results(world, encoding)
    source = harness.winpath(world.disc.root)
    for name in names:
        assert results[f"{folder}\\Patient\\{sid}\\{name}"] == "Success", name
    assert f"{source}\\Data\\{names[0]}" in "".join(world.debug.lines(encoding))
    assert debris(root) == []


# --- a launcher cut off, and two at once --------------------------------------------------------------------

def changed_disc(world, seconds_back):
    """A disc of the patient already on the machine: the same names, other times."""
    stamp = time.time() - seconds_back
    for p in (world.disc.root / "Data").iterdir():
        os.utime(p, (stamp, stamp))


def test_the_run_after_one_cut_off_clears_what_it_left(world):
    root = world.machine.install(version=V)
    world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V))
    world.disc.data({"Default.npj": b"p", **{f"s{i:04d}.dcm": (b"%04d" % i) * 50000 for i in range(400)}})
    patient = root / "Patient" / "A1"
    run, rc = world.run(timeout=120)
    assert rc == 0
    # The patient's own files that look like what a copy leaves: never touched.
    lookalikes = {"~cpy00010002.tmp": b"the patient's", "~autorun-notes.tmp": b"the patient's",
                  "~autorun-00000010-0000000000000000-0.tmp/scan.dcm": b"the patient's"}
    harness.write_tree(patient, lookalikes)

    def left():
        return [d for d in debris(root) if not any(d.startswith(f"Patient/A1/{name.split('/')[0]}")
                                                   for name in lookalikes)]

    changed_disc(world, 1000)
    run = world.start()
    try:
        # Cut off while its copy is on the way: the moment something of it shows in the patient folder.
        deadline = time.time() + 60
        while not left() and run.running() and time.time() < deadline:
            time.sleep(0.01)
    finally:
        run.kill()  # as a power cut or the task manager would
    assert left(), "the launcher was not cut off in the middle of its copy"

    changed_disc(world, 2000)
    run, rc = world.run(timeout=120)
    assert rc == 0
    assert sorted(debris(root)) == sorted(f"Patient/A1/{name}" for name in
                                          ["~autorun-00000010-0000000000000000-0.tmp", "~autorun-notes.tmp",
                                           "~cpy00010002.tmp"])
    for name, content in lookalikes.items():
        assert (patient / name).read_bytes() == content, name
    for p in (world.disc.root / "Data").iterdir():
        assert (patient / p.name).read_bytes() == p.read_bytes(), p.name


def test_a_large_first_copy_cut_off_leaves_nothing_under_its_name(world):
    """A launcher ended in the middle of the first copy of a large file (a logoff that ends the process after its wait,
    the task manager, a power cut): the copy is staged, so the patient file's own name never holds a part of it, which
    a viewer started by hand would read. On Windows that part has the disc's full size (CopyFile sets the size before
    it writes); Wine does not preallocate, but the name is there from the copy's first byte on, so the test sees the
    straight copy's fault all the same. The next run clears what the cut left and copies the file."""
    root = world.machine.install(version=V)
    world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V))
    big = bytes(range(256)) * (16 * 1024)  # 4 MB
    patient = root / "Patient" / "A1"
    served_data = {"Default.npj": Served(b"p"), "big.dcm": Served(big, hold_from=MB)}
    with FaultyFolder(world.disc.root / "Data", served_data) as served:
        run = world.start()
        try:
            # Waits in its read past the first megabyte, all of which it has written.
            assert served.files["big.dcm"].waiting.wait(60), "the copy of big.dcm did not start"
            time.sleep(0.5)
            assert run.running()
            run.proc.kill()  # as a power cut or the task manager would; it takes effect when the read returns
        finally:
            served.files["big.dcm"].release()
            run.kill()
        assert sorted(p.name for p in patient.iterdir() if not p.name.startswith("~autorun-")) in ([], ["Default.npj"])
        assert debris(patient), "the copy was not staged"
    world.disc.data({"Default.npj": b"p", "big.dcm": big})
    run, rc = world.run(timeout=60)
    assert rc == 0
    assert (patient / "big.dcm").read_bytes() == big
    assert debris(root) == []


def test_two_launchers_copy_a_changed_disc_of_the_same_patient_at_once(world):
    world.expect_warning()  # files fail on purpose: the box that tells so is answered
    root = world.machine.install(version=V)
    world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V))
    world.disc.data({"Default.npj": b"p", **{f"s{i:04d}.dcm": (b"%04d" % i) * 2000 for i in range(800)}})
    world.disc.data({"db/ref.stl": b"r" * 100000}, folder="ImplantDB")
    run, rc = world.run(timeout=120)
    assert rc == 0
    changed_disc(world, 1000)
    runs = [world.start(), world.start()]
    try:
        codes = [r.wait(120) for r in runs]
    finally:
        for r in runs:
            r.kill()
    assert codes == [0, 0]
    patient = root / "Patient" / "A1"
    for p in (world.disc.root / "Data").iterdir():
        assert (patient / p.name).read_bytes() == p.read_bytes(), p.name
        assert (patient / p.name).stat().st_mtime == p.stat().st_mtime, p.name
    # A file may get a "Failed" line when the other launcher held it open, reading its size, at the moment of the
    # replace; the other launcher's copy of it is whole all the same.
    assert debris(root) == []
    assert len(viewer_arguments(root, count=3)) == 3


# --- the reference database with links ----------------------------------------------------------------------

def test_reference_database_with_links_that_loop(world):
    root = world.machine.install(version=V)
    world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V)).data({"Default.npj": b"p"})
    world.disc.data({"index.db": b"root", "Maker/Line/fixture.stl": b"deep"}, folder="ImplantDB")
    reference = world.disc.root / "ImplantDB"
    os.symlink(".", reference / "a")
    os.symlink(".", reference / "b")
    os.symlink("..", reference / "Maker" / "up")
    os.symlink("../../Maker", reference / "Maker" / "Line" / "again")
    started = time.time()
    run, rc = world.run(timeout=60)
    assert rc == 0
    assert time.time() - started < 30
    copied = sorted(str(p.relative_to(root / "ImplantDB")) for p in (root / "ImplantDB").rglob("*"))
    assert copied == ["Maker", "Maker/Line", "Maker/Line/fixture.stl", "index.db"]
    sources = [line for line in world.debug.lines() if line.startswith("Copy File : ") and "ImplantDB" in line]
    assert len(sources) == 2, sources
    assert viewer_arguments(root) == ["DiscStudio#A1#C:\\Tovi2009\\Patient\\A1\\Default.npj"]


# --- the installation folder as the registry spells it --------------------------------------------------------

def test_target_dir_with_a_trailing_backslash(world):
    root = world.machine.install(version=V, target_dir="C:\\Tovi2009\\\\")
    world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V)).data({"Default.npj": b"p", "a.dcm": b"a"})
    world.disc.data({"ref.stl": b"r"}, folder="ImplantDB")
    run, rc = world.run()
    assert rc == 0
    assert viewer_arguments(root) == ["DiscStudio#A1#C:\\Tovi2009\\Patient\\A1\\Default.npj"]
    assert sorted(copy_results(world)) == ["C:\\Tovi2009\\ImplantDB\\ref.stl", "C:\\Tovi2009\\Patient\\A1\\Default.npj",
                                           "C:\\Tovi2009\\Patient\\A1\\a.dcm"]
