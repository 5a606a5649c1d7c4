"""Bad discs, bad machines and faults during a transfer: the launcher ends, writes nothing where it must
not, and loses nothing."""
import os
import pwd
import random
import subprocess
import time
from pathlib import Path

import pytest

import harness
from harness import suid_text

V = (0, 0, 0, 0)


def plain(mode="Clarivue", sid="A1", sep=b"\r\n", tail=b""):
    lines = [b"[Program Up]", b"UP_A=091118", b"[Execute Mode]", b"Mode=" + mode.encode(), b"[SUID]",
             b"ID=" + sid.encode() + tail]
    return sep.join(lines)


def disc_viewer_args(world, wait=5.0, count=1):
    return [harness.arguments_of(l) for l in
            harness.started_command_lines(world.disc.root / "Tovi2009.exe", wait=wait, count=count)]


# --- a table of bad SUID.ini files --------------------------------------------------------------------------

rng = random.Random(20091118)
BAD_FILES = {
    # name: (file bytes, console output, what the disc viewer gets (None: not started))
    "empty": (b"", "done!\n", None),
    "binary": (bytes(rng.randrange(256) for _ in range(4096)), "done!\n", None),
    "ten-megabytes": (b"[Padding]\r\n" + b"x=" + b"y" * 200 + b"\r\n" * 1 + (b"; filler line\r\n" * 700000) +
                      plain(sid="BIG"), "", ["Clarivue#BIG#0"]),
    "nul-laden": (plain(sid="N1", tail=b"\0junk") + b"\r\n\0\0\0\0\r\n", "", ["Clarivue#N1#0"]),
    "no-final-line-feed": (plain(sid="E1"), "", ["Clarivue#E1#0"]),
    "lf-only": (plain(sid="L1", sep=b"\n"), "", ["Clarivue#L1#0"]),
    "cr-only": (plain(sid="C1", sep=b"\r"), "", ["Clarivue#C1#0"]),
    "value-over-259": (plain(sid="v" * 400), "", ["Clarivue#" + "v" * 259 + "#0"]),
    "large-scrambled": (harness.scramble(b"[Execute Mode]\r\nMode=Clarivue\r\n[SUID]\r\nID=S1\r\n" +
                                         b"; filler\r\n" * 100000), "done!\n", ["Clarivue#S1#0"]),
}


@pytest.mark.parametrize("name", list(BAD_FILES))
def test_bad_configuration_files(world, name):
    data, stdout, viewer = BAD_FILES[name]
    world.machine.install(version=V)
    world.disc.viewer().suid(data)
    run, rc = world.run(timeout=120)
    assert rc == 0
    assert run.stdout == stdout
    assert disc_viewer_args(world, wait=3 if viewer else 0.5) == (viewer or [])
    assert not (harness.drive_c() / "users" / "root" / "SUID.temp").exists()
    assert list((harness.drive_c() / "Tovi2009" / "Patient").iterdir()) == []


def test_every_short_scrambled_length(world):
    """Files of 0 to 16 bytes end in every kind of last group; none may upset the reader."""
    world.machine.install(version=V)
    text = b"[SUID]\r\nID=1234\r\n"
    world.disc.viewer()
    for n in range(17):
        world.disc.suid(harness.scramble(text[:n]))
        run, rc = world.run(timeout=30)
        assert (rc, run.stdout) == (0, "done!\n"), n
    assert disc_viewer_args(world, wait=0.3) == []


def test_version_values_that_are_not_numbers(world):
    """Text values in the Version key are not numbers: each leaves the part before it (0 at first)."""
    world.machine.install(version=(None, None, None, None),
                          raw_values="")
    harness.reg_import(f"[{harness.VERSION_KEY}]\r\n\"HIMS\"=\"7\"\r\n\"LOWMS\"=dword:00000002\r\n"
                       f"\"HILS\"=hex:01,02\r\n\r\n", world.tmp)
    world.disc.setup().suid(suid_text(mode="DiscStudio", version=(0, 2, 2, 2)))
    run, rc = world.run()
    assert rc == 0
    assert "Installed : HILMS 0, LOWMS 2, HILS 2, LOWLS 2\n" in world.debug_lines()


def test_target_dir_naming_a_missing_folder_counts_as_not_installed(world):
    world.machine.install(version=V, target_dir="C:\\No Such Folder")
    world.disc.setup().suid(suid_text(mode="DiscStudio", version=V))
    run = world.start()
    try:
        prompt = harness.answer_prompt("no", world.tmp)
        assert run.wait(30) == 0
    finally:
        run.kill()
    assert prompt and "was not Installed" in prompt[0]
    assert not (harness.drive_c() / "No Such Folder").exists()


@pytest.mark.parametrize("depth", [300, 1100])
def test_launcher_in_a_very_deep_folder(world, depth):
    """A folder path longer than MAX_PATH, and than the 1,024 bytes once assumed, is not cut short: the
    launcher reads the SUID.ini beside it. The shell cannot start a program by such a path, so the disc
    viewer is not started, and the launcher ends cleanly."""
    deep = world.tmp / "d"
    while len(harness.winpath(deep)) < depth:
        deep = deep / ("folder_" + "x" * 40)
    disc = harness.Disc(deep)
    disc.viewer().suid(suid_text(mode="Clarivue", sid="DEEP"))
    world.machine.install(version=V)
    run = harness.Run(disc.exe, world.tmp)
    assert run.wait(30) == 0
    assert run.stdout == ""  # read as the plain file it is
    assert harness.started_command_lines(disc.root / "Tovi2009.exe", wait=1) == []
    # Read whole: an edition mode in the same place makes the version check print the disc's version.
    disc.suid(suid_text(mode="Whatever", version=(0, 0, 0, 0)))
    run = harness.Run(disc.exe, world.tmp)
    assert run.wait(30) == 0
    assert "CD : HILMS 0, LOWMS 0, HILS 0, LOWLS 0\n" in world.debug_lines()


# --- faults during a transfer -------------------------------------------------------------------------------

def transfer_disc(world, files, sid="A1"):
    world.disc.suid(suid_text(mode="DiscStudio", sid=sid, version=V)).data(files)


def copy_results(world):
    """File name -> "Success" or "Failed"."""
    return {target.rsplit("\\", 1)[1]: result for target, result in world.debug.copy_results().items()}


def no_leftovers(folder: Path):
    return [p.name for p in folder.rglob("*") if p.name.lower().startswith("~cpy")]


class HeldFile:
    """Another program holding a file open with no sharing."""

    def __init__(self, path: Path, tmp: Path):
        self.ready, self.stop_file = tmp / f"{path.name}.ready", tmp / f"{path.name}.stop"
        self.proc = subprocess.Popen(["wine", str(harness.TOOLS / "holdfile.exe"), harness.winpath(path),
                                      harness.winpath(self.ready), harness.winpath(self.stop_file)],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 20
        while not self.ready.exists() and time.time() < deadline:
            time.sleep(0.05)
        assert self.ready.exists(), f"could not hold {path}"

    def release(self):
        self.stop_file.write_bytes(b"")
        self.proc.wait(timeout=20)


def test_unreadable_source_file_keeps_the_earlier_copy(world):
    world.expect_warning()  # files fail on purpose: the box that tells so is answered
    root = world.machine.install(version=V)
    transfer_disc(world, {"Default.npj": b"p", "a.dcm": b"new-a", "b.dcm": b"new-b"})
    patient = root / "Patient" / "A1"
    patient.mkdir()
    (patient / "b.dcm").write_bytes(b"earlier b")
    # Held by another program: listed on the disc but not readable, like a scratched file.
    held = HeldFile(world.disc.root / "Data" / "b.dcm", world.tmp)
    try:
        run, rc = world.run()
    finally:
        held.release()
    assert rc == 0
    assert copy_results(world) == {"Default.npj": "Success", "a.dcm": "Success", "b.dcm": "Failed"}
    assert [t for t in world.warnings.texts() if "Patient files not copied: 1 of 3" in t], world.warnings.texts()
    assert (patient / "b.dcm").read_bytes() == b"earlier b"
    assert (patient / "a.dcm").read_bytes() == b"new-a"
    assert no_leftovers(patient) == []
    assert len(harness.started_command_lines(root / "Tovi2009.exe")) == 1


def test_disc_taken_out_in_the_middle(world):
    world.expect_warning()  # files fail on purpose: the box that tells so is answered
    root = world.machine.install(version=V)
    count = 2500
    transfer_disc(world, {f"s{i:05d}.dcm": (b"%05d" % i) * 50 for i in range(count)})
    run = world.start()
    try:
        assert harness.wait_for_progress_window(world.tmp)
        time.sleep(0.3)
        gone = world.tmp / "taken-out"
        (world.disc.root / "Data").rename(gone)
        assert run.wait(180) == 0
    finally:
        run.kill()
    patient = root / "Patient" / "A1"
    results = copy_results(world)
    assert "Failed" in results.values(), "the disc went before the copy ended"
    for p in patient.iterdir():
        assert p.read_bytes() == (gone / p.name).read_bytes(), p.name  # nothing partial
    assert no_leftovers(patient) == []
    assert len(harness.started_command_lines(root / "Tovi2009.exe")) == 1


@pytest.fixture
def small_drive_c_folder():
    """C:\\Tovi2009 on a 1 MB file system of its own."""
    mount = harness.drive_c() / "Tovi2009"
    mount.mkdir(parents=True, exist_ok=True)
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", str(mount)],
                      capture_output=True).returncode != 0:
        pytest.skip("cannot mount a small file system here")
    yield mount
    subprocess.run(["umount", "-l", str(mount)], capture_output=True)


def test_destination_that_fills_up(world, small_drive_c_folder):
    world.expect_warning()  # files fail on purpose: the box that tells so is answered
    root = world.machine.install(version=V)
    assert root == small_drive_c_folder
    patient = root / "Patient" / "A1"
    patient.mkdir()
    (patient / "c3.dcm").write_bytes(b"earlier c3")
    transfer_disc(world, {"Default.npj": b"p", **{f"c{i}.dcm": bytes([65 + i]) * 300_000 for i in range(6)}})
    run, rc = world.run()
    assert rc == 0
    results = copy_results(world)
    assert "Failed" in results.values() and "Success" in results.values()
    for name, result in results.items():
        content = (patient / name).read_bytes() if (patient / name).exists() else None
        source = (world.disc.root / "Data" / name).read_bytes()
        if result == "Success":
            assert content == source, name
        elif name == "c3.dcm":
            assert content == b"earlier c3"
        else:
            assert content is None, name  # no partial file
    assert no_leftovers(patient) == []
    assert len(harness.started_command_lines(root / "Tovi2009.exe")) == 1
    # Cleaning the disc would change nothing: the box names the drive to free.
    texts = world.warnings.texts()
    assert len(texts) == 1 and "Free some space on drive C: and insert the disc again" in texts[0], texts
    assert "Clean the disc" not in texts[0]


def test_read_only_destination_folder(world):
    world.expect_warning()  # files fail on purpose: the box that tells so is answered
    root = world.machine.install(version=V)
    transfer_disc(world, {"Default.npj": b"p", "a.dcm": b"v1"})
    world.run()
    patient = root / "Patient" / "A1"
    (world.disc.root / "Data" / "a.dcm").write_bytes(b"v2 longer")
    # Immutable: not even root may create or replace a file in it.
    if subprocess.run(["chattr", "+i", str(patient)], capture_output=True).returncode != 0:
        pytest.skip("cannot make a folder immutable here")
    try:
        run, rc = world.run()
    finally:
        subprocess.run(["chattr", "-i", str(patient)], capture_output=True)
    assert rc == 0
    assert (patient / "a.dcm").read_bytes() == b"v1"
    assert copy_results(world)["a.dcm"] == "Failed"
    assert no_leftovers(patient) == []
    assert len(harness.started_command_lines(root / "Tovi2009.exe", count=2)) == 2
    # Only the right to write there helps, and the box names the folder.
    texts = world.warnings.texts()
    assert len(texts) == 1 and ("the right to write to the folder C:\\Tovi2009\\Patient\\A1, and insert the disc "
                                "again") in texts[0], texts
    assert "Clean the disc" not in texts[0]


def test_destination_file_held_open_by_another_program(world):
    world.expect_warning()  # files fail on purpose: the box that tells so is answered
    root = world.machine.install(version=V)
    transfer_disc(world, {"Default.npj": b"p", "a.dcm": b"v1", "b.dcm": b"b1"})
    world.run()
    patient = root / "Patient" / "A1"
    (world.disc.root / "Data" / "a.dcm").write_bytes(b"v2 longer")
    (world.disc.root / "Data" / "b.dcm").write_bytes(b"b2 longer")
    held = HeldFile(patient / "a.dcm", world.tmp)
    try:
        run, rc = world.run()
    finally:
        held.release()
    assert rc == 0
    assert (patient / "a.dcm").read_bytes() == b"v1"
    assert (patient / "b.dcm").read_bytes() == b"b2 longer"
    assert no_leftovers(patient) == []


# --- repeated and concurrent runs ---------------------------------------------------------------------------

def snapshot(folder: Path):
    """Each file's identity (inode and change time: a file written anew gets a later change time even where the
    file system hands it the inode number of the one it replaced), then its modification time and bytes."""
    def facts(p):
        st = p.stat()
        return (st.st_ino, st.st_ctime_ns), st.st_mtime_ns, p.read_bytes()
    return {str(p.relative_to(folder)): facts(p)
            for p in sorted(folder.rglob("*")) if p.is_file() and not p.name.endswith(".log")}


def test_same_disc_twenty_times_changes_only_project_and_reference(world):
    root = world.machine.install(version=V)
    transfer_disc(world, {"Default.npj": b"project", "a.dcm": b"a" * 1000, "b.dcm": b"b" * 10, "Series": None})
    world.disc.data({"db/ref.stl": b"ref"}, folder="ImplantDB")
    world.run()
    first = snapshot(root)
    for _ in range(19):
        run, rc = world.run()
        assert rc == 0
    last = snapshot(root)
    assert set(first) == set(last)
    changed = {name for name in first if first[name] != last[name]}
    # Rewritten (same bytes, a new file): the project and the reference database; nothing else touched.
    assert changed == {"Patient/A1/Default.npj", "ImplantDB/db/ref.stl"}
    assert all(first[n][1:] == last[n][1:] for n in first)
    assert len(harness.started_command_lines(root / "Tovi2009.exe", count=20)) == 20


def test_launchers_of_two_discs_at_once_each_read_their_own_configuration(world):
    """Two discs in two drives of one user's computer: both launchers descramble through the same temporary
    copy in the profile folder. The second starts while the first is still writing its copy, and must wait
    for its turn: without it, it cuts the first one's copy short and writes its own over it (or deletes it
    under the first), and one of them reads the other's ID or none."""
    temp = harness.drive_c() / "users" / pwd.getpwuid(os.getuid()).pw_name / "SUID.temp"
    first = world.disc.viewer()
    # The first disc's ID comes last, after a filler that keeps its turn going for seconds.
    first.suid(harness.scramble(b"[Execute Mode]\r\nMode=Clarivue\r\n" + b"; filler\r\n" * 1500000 +
                                b"[SUID]\r\nID=FIRST\r\n"))
    second = harness.Disc(world.tmp / "second").viewer().suid(suid_text(mode="Clarivue", sid="SECOND", plain=False))
    runs = [world.start()]
    try:
        deadline = time.time() + 60
        while not (temp.exists() and temp.stat().st_size > 100000) and time.time() < deadline:
            time.sleep(0.01)
        assert temp.exists(), "the first launcher made no temporary copy"
        runs.append(harness.Run(second.exe, world.tmp))
        codes = [r.wait(120) for r in runs]
    finally:
        for r in runs:
            r.kill()
    assert codes == [0, 0]
    assert [r.stdout for r in runs] == ["done!\n"] * 2
    assert disc_viewer_args(world) == ["Clarivue#FIRST#0"]
    assert [harness.arguments_of(l) for l in harness.started_command_lines(second.root / "Tovi2009.exe")] == \
        ["Clarivue#SECOND#0"]
    assert not temp.exists()


# --- Korean names under the Korean ANSI code page -----------------------------------------------------------

KOREAN = {"LC_ALL": "ko_KR.UTF-8"}


def test_korean_names_arrive_intact(world):
    folder = "C:\\Program Files\\토비 뷰어"
    root = world.machine.install(version=V, folder=folder)
    sid = "김민수"
    world.disc.suid(suid_text(mode="DiscStudio", sid=sid, version=V, plain=False))
    world.disc.data({"Default.npj": b"p", "환자 사진.dcm": b"photo", "CT 영상": None, "CT 영상/단면.dcm": b"x"})
    world.disc.data({"제조사/임플란트.stl": b"ref"}, folder="ImplantDB")
    run, rc = world.run(env=KOREAN)
    assert rc == 0
    patient = root / "Patient" / sid
    assert sorted(p.name for p in patient.iterdir()) == sorted(["CT 영상", "Default.npj", "환자 사진.dcm"])
    assert (patient / "환자 사진.dcm").read_bytes() == b"photo"
    assert list((patient / "CT 영상").iterdir()) == []
    assert (root / "ImplantDB" / "제조사" / "임플란트.stl").read_bytes() == b"ref"
    args = [harness.arguments_of(l) for l in harness.started_command_lines(root / "Tovi2009.exe")]
    assert args == [f"DiscStudio#{sid}#{folder}\\Patient\\{sid}\\Default.npj"]
    assert f"Copy File : {harness.winpath(world.disc.root)}\\Data\\환자 사진.dcm => {folder}\\Patient\\{sid}\\환자 사진.dcm" \
           " : Success\n" in world.debug_lines()
