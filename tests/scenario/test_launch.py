"""The launch decision with the real launcher: guard, disc viewer, prompts, program starts, exits."""
import subprocess
from pathlib import Path

import pytest

import harness
from harness import suid_text

V = (1, 2, 3, 4)
NOT_INSTALLED = "Tovi Plus {0} Program was not Installed. \n\nDo you want to install Tovi Plus {0}?"
OLDER = "Current Tovi Plus {0} Program was old version. \n\nDo you want to install New Version Tovi Plus {0}?"


class RunningProgram:
    """A stub kept running under a given name, as the viewer or the disc-writing tool would be."""

    def __init__(self, folder: Path, name: str):
        folder.mkdir(parents=True, exist_ok=True)
        self.exe = folder / name
        subprocess.run(["cp", str(harness.TOOLS / "stub.exe"), str(self.exe)], check=True)
        self.sleep = Path(str(self.exe) + ".sleep")
        self.sleep.write_bytes(b"")
        self.proc = subprocess.Popen(["wine", harness.winpath(self.exe)], stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        harness.started_command_lines(self.exe)  # it has started once it logged

    def stop(self):
        self.sleep.unlink(missing_ok=True)
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()


def prompt_and_answer(world, answer):
    run = world.start()
    try:
        prompt = harness.answer_prompt(answer, world.tmp)
        rc = run.wait(30)
    finally:
        run.kill()
    return prompt, rc


def setup_started(world):
    return harness.started_command_lines(world.disc.root / "Setup" / "Setup.exe", wait=3)


@pytest.mark.parametrize("name", ["Tovi2009.exe", "Scribo.exe"])
def test_running_viewer_or_writer_closes_at_once(world, name):
    world.disc.setup().suid(suid_text(mode="DiscStudio"))  # would prompt: nothing installed
    program = RunningProgram(world.tmp / "running", name)
    try:
        run, rc = world.run(timeout=20)
    finally:
        program.stop()
    assert rc == 0
    assert run.stdout == ""
    assert [l for l in world.debug_lines() if "HILMS" in l] == []
    assert setup_started(world) == []


@pytest.mark.parametrize("name", ["TOVI2009.EXE", "scribo.exe"])
def test_running_program_differing_in_case_does_not_block(world, name):
    world.disc.setup().suid(suid_text(mode="DiscStudio"))
    program = RunningProgram(world.tmp / "running", name)
    try:
        prompt, rc = prompt_and_answer(world, "no")
    finally:
        program.stop()
    assert prompt is not None


@pytest.mark.parametrize("sid,expected", [("A1", "Clarivue#A1#0"), ("", "Clarivue##0"),
                                          ("..\\x", "Clarivue#..\\x#0")])
def test_disc_viewer_mode_starts_the_viewer_on_the_disc(world, sid, expected):
    world.disc.viewer().suid(suid_text(mode="Clarivue", sid=sid))
    run, rc = world.run()  # nothing installed: no prompt either, or the run would hang
    assert rc == 0
    lines = harness.started_command_lines(world.disc.root / "Tovi2009.exe")
    assert [harness.arguments_of(l) for l in lines] == [expected]
    assert world.debug_lines() == []


@pytest.mark.parametrize("mode,name", [("DiscStudio", "Disc Studio"), ("DiscStudio_Lite", "Disc Studio - Lite"),
                                       ("DiscStudioBasic", "Disc Studio Basic"), ("BasicStudio", "Basic Studio"),
                                       ("Unknown", ""), ("", "")])
def test_not_installed_asks_and_yes_starts_setup(world, mode, name):
    world.disc.setup().suid(suid_text(mode=mode))
    prompt, rc = prompt_and_answer(world, "yes")
    assert prompt == (NOT_INSTALLED.format(name), "&Yes|&No")
    assert rc == 0
    lines = setup_started(world)
    assert len(lines) == 1 and harness.arguments_of(lines[0]) == ""


def test_answer_no_starts_nothing_and_ends(world):
    world.disc.setup().suid(suid_text(mode="DiscStudio"))
    prompt, rc = prompt_and_answer(world, "no")
    assert prompt is not None and rc == 0
    assert setup_started(world) == []


def test_removed_executable_counts_as_not_installed(world):
    world.machine.install(version=V, exe=False)
    world.disc.setup().suid(suid_text(mode="BasicStudio", version=V))
    prompt, rc = prompt_and_answer(world, "no")
    assert prompt[0] == NOT_INSTALLED.format("Basic Studio")


@pytest.mark.parametrize("installed,disc,lines", [
    ((1, 2, 3, 4), (1, 2, 3, 5), ["Installed : HILMS 1, LOWMS 2, HILS 3, LOWLS 4\n",
                                  "CD : HILMS 1, LOWMS 2, HILS 3, LOWLS 5\n"]),
    ((0xFFFFFFFF, 0, 0, 0), (0, 0, 0, 0), ["Installed : HILMS -1, LOWMS 0, HILS 0, LOWLS 0\n",
                                           "CD : HILMS 0, LOWMS 0, HILS 0, LOWLS 0\n"]),
    (None, (1, 0, 0, 0), []),
], ids=["older", "all-bits-set", "no-version-key"])
def test_older_installation_asks_to_upgrade(world, installed, disc, lines):
    world.machine.install(version=installed or (0, 0, 0, 0), version_key=installed is not None)
    world.disc.setup().suid(suid_text(mode="DiscStudioBasic", version=disc))
    prompt, rc = prompt_and_answer(world, "yes")
    assert prompt[0] == OLDER.format("Disc Studio Basic")
    assert world.debug_lines() == lines
    assert len(setup_started(world)) == 1


@pytest.mark.parametrize("installed,disc", [((1, 2, 3, 4), (1, 2, 3, 4)), ((2, 0, 0, 0), (1, 9, 9, 9)),
                                            ((1, 3, 0, 0), (1, 2, 9, 9))])
def test_not_older_installation_gets_the_transfer(world, installed, disc):
    root = world.machine.install(version=installed)
    world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=disc)).data({"Default.npj": b"p"})
    run, rc = world.run()
    assert rc == 0
    assert (root / "Patient" / "A1" / "Default.npj").read_bytes() == b"p"
    assert [l for l in world.debug_lines() if "HILMS" in l] == [
        "Installed : HILMS {}, LOWMS {}, HILS {}, LOWLS {}\n".format(*installed),
        "CD : HILMS {}, LOWMS {}, HILS {}, LOWLS {}\n".format(*disc)]


@pytest.mark.parametrize("mode", ["discstudio", "Clarivue2", "", "BASICSTUDIO"])
def test_mode_that_matches_nothing_ends_quietly(world, mode):
    root = world.machine.install(version=V)
    world.disc.viewer().suid(suid_text(mode=mode, version=V)).data({"a.dcm": b"a"})
    run, rc = world.run()
    assert rc == 0
    assert list((root / "Patient").iterdir()) == []
    assert harness.started_command_lines(root / "Tovi2009.exe", wait=1) == []
    assert harness.started_command_lines(world.disc.root / "Tovi2009.exe", wait=0.2) == []


@pytest.mark.parametrize("path_key,target_dir", [(False, None), (True, False), (True, ""), (True, "C:\\" + "x" * 300)],
                         ids=["no-path-key", "no-value", "empty", "too-long"])
def test_without_a_sound_target_dir_the_default_folder_is_used_throughout(world, path_key, target_dir):
    root = world.machine.install(version=V, path_key=path_key, target_dir=target_dir)
    assert root == harness.drive_c() / "Tovi2009"
    world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V)).data({"Default.npj": b"p"})
    world.disc.data({"ref.db": b"r"}, folder="ImplantDB")
    run, rc = world.run()
    assert rc == 0
    assert (root / "Patient" / "A1" / "Default.npj").exists()
    assert (root / "ImplantDB" / "ref.db").exists()
    lines = harness.started_command_lines(root / "Tovi2009.exe")
    assert [harness.arguments_of(l) for l in lines] == ["DiscStudio#A1#C:\\Tovi2009\\Patient\\A1\\Default.npj"]


def test_target_dir_that_is_not_a_string_counts_as_missing(world):
    root = world.machine.install(version=V, target_dir=False, raw_values='"TargetDir"=dword:00000001\r\n')
    world.disc.suid(suid_text(mode="BasicStudio", sid="Z9", version=V)).data({"Default.npj": b"p"})
    world.run()
    assert (root / "Patient" / "Z9" / "Default.npj").exists()


@pytest.mark.parametrize("sid", ["", ".", "..", "..\\..\\Windows", "a/b", "C:evil", "a?b", "a*b", "a<b", "a|b",
                                 "trailing.", "trailing ", "CON", "nul.txt", "COM1", "LPT9.dat", "tab\there"])
def test_an_id_that_does_not_name_one_patient_folder_starts_nothing(world, sid):
    root = world.machine.install(version=V)
    # Quoted, so the profile reader keeps a trailing blank.
    written = f'"{sid}"' if sid.endswith(" ") else sid
    world.disc.suid(suid_text(mode="DiscStudio", sid=written, version=V)).data({"Default.npj": b"p"})
    run, rc = world.run()
    assert rc == 0
    assert f"Invalid patient ID : {sid}\n" in world.debug_lines()
    assert not [l for l in world.debug_lines() if l.startswith("Copy File")]
    assert list((root / "Patient").iterdir()) == []
    assert harness.started_command_lines(root / "Tovi2009.exe", wait=1) == []
    assert harness.visible_windows("autorun.exe", world.tmp) == []


def folder_for_path_length(base: Path, file_name: str, length: int) -> Path:
    """A folder below `base` in which `file_name` has a Windows path of exactly `length` characters."""
    rest = length - len(harness.winpath(base)) - len("\\" + file_name)
    parts = []
    while rest > 0:
        part = min(rest - 1, 60)
        if rest - (part + 1) == 1:  # a remainder of one would be a backslash alone
            part -= 1
        parts.append("p" * part)
        rest -= part + 1
    assert rest == 0
    folder = base.joinpath(*parts)
    assert len(harness.winpath(folder / file_name)) == length
    return folder


@pytest.mark.parametrize("length,started", [(259, True), (260, False), (261, False)])
def test_program_path_at_the_shell_limit(world, length, started):
    """A program path is handed to the shell up to 259 characters; from 260 on (MAX_PATH with its zero)
    it is refused, and the launcher ends as after any start that fails. Wine's shell refuses 260 itself,
    so under Wine only the native test of the rule can fail when the launcher hands such a path on."""
    disc = harness.Disc(folder_for_path_length(world.tmp / "deep", "Tovi2009.exe", length))
    disc.viewer().suid(suid_text(mode="Clarivue", sid="EDGE"))
    run = harness.Run(disc.exe, world.tmp)
    assert run.wait(30) == 0
    lines = harness.started_command_lines(disc.root / "Tovi2009.exe", wait=3 if started else 1)
    assert [harness.arguments_of(l) for l in lines] == (["Clarivue#EDGE#0"] if started else [])
