"""Start-up and the disc configuration, seen from outside: what the launcher reads and prints."""
import pytest

import harness
from harness import suid_text

INSTALLED = (1, 0, 0, 0)


def test_plain_file_read_without_console_lines(world):
    world.disc.viewer().suid(suid_text(mode="Clarivue", sid="A1"))
    run, rc = world.run()
    assert rc == 0
    assert run.stdout == ""
    lines = harness.started_command_lines(world.disc.root / "Tovi2009.exe")
    assert [harness.arguments_of(l) for l in lines] == ["Clarivue#A1#0"]


def test_scrambled_file_read_through_a_temporary_copy(world):
    world.disc.viewer().suid(suid_text(mode="Clarivue", sid="B2", plain=False))
    profile = world.tmp / "profile"
    profile.mkdir()
    (profile / "SUID.temp").write_bytes(b"stale copy of another disc")
    run, rc = world.run(env={"USERPROFILE": harness.winpath(profile)}, wrapper=True)
    assert rc == 0
    assert run.stdout == "done!\n"
    assert not (profile / "SUID.temp").exists()
    lines = harness.started_command_lines(world.disc.root / "Tovi2009.exe")
    assert [harness.arguments_of(l) for l in lines] == ["Clarivue#B2#0"]


@pytest.mark.parametrize("profile", [None, "", "Fail"], ids=["unset", "empty", "Fail"])
def test_no_profile_folder_puts_the_copy_at_the_root_of_drive_c(world, profile):
    # Wine lets anyone write to C:\; on Windows since Vista a standard user cannot, and the launcher then
    # ends as with a profile folder that cannot be written (the next test). This one cannot tell them apart.
    world.disc.viewer().suid(suid_text(mode="Clarivue", sid="C3", plain=False))
    stale = harness.drive_c() / "SUID.temp"
    stale.write_bytes(b"stale")
    run, rc = world.run(env={"USERPROFILE": profile}, wrapper=True)
    assert run.stdout == "done!\n"
    assert not stale.exists()
    assert harness.arguments_of(harness.started_command_lines(world.disc.root / "Tovi2009.exe")[0]) == "Clarivue#C3#0"


def test_profile_folder_that_cannot_be_written(world):
    # A missing folder, not a read-only one: the tests run as root, for whom Wine writes into read-only
    # folders that Windows would refuse.
    world.machine.install(version=(0, 0, 0, 0))  # the record stays empty: nothing to do, no prompt
    world.disc.viewer().suid(suid_text(mode="Clarivue", sid="D4", plain=False))
    missing = harness.winpath(world.tmp / "no-such-folder")
    run, rc = world.run(env={"USERPROFILE": missing}, wrapper=True)
    assert rc == 0
    assert run.stdout == f"ERROR: Could not open: {missing}\\SUID.temp\ndone!\n"
    assert harness.started_command_lines(world.disc.root / "Tovi2009.exe", wait=0.5) == []


def test_missing_file_names_its_full_path(world):
    world.machine.install(version=INSTALLED)
    run, rc = world.run()
    assert rc == 0
    assert run.stdout == f"ERROR: Could not open: {harness.winpath(world.disc.root)}\\SUID.ini\ndone!\n"
    # The record stayed empty: version 0.0.0.0 on the debug output, and an empty mode starts nothing.
    assert "CD : HILMS 0, LOWMS 0, HILS 0, LOWLS 0\n" in world.debug_lines()


@pytest.mark.parametrize("text,expected", [
    (b"[Program Up]\r\nUP_A=091118\r\n[Program Version]\r\nHIMS=3\r\nLOWMS=3.7\r\nHILS=-2\r\nLOWLS=abc\r\n",
     "CD : HILMS 3, LOWMS 3, HILS -2, LOWLS 0\n"),
    (b"[program up]\r\nup_a=091118\r\n[PROGRAM VERSION]\r\nhims=7\r\n", "CD : HILMS 7, LOWMS 0, HILS 0, LOWLS 0\n"),
    (b"[Program Up]\r\nUP_A=091118\r\n", "CD : HILMS 0, LOWMS 0, HILS 0, LOWLS 0\n"),
], ids=["atoi-rules", "any-case", "no-version-section"])
def test_version_values(world, text, expected):
    world.machine.install(version=(9, 9, 9, 9))
    world.disc.suid(text)
    run, rc = world.run()
    assert run.stdout == ""
    assert expected in world.debug_lines()


@pytest.mark.parametrize("mark", ["", "91118", "0911180", None], ids=["empty", "no-leading-zero", "extra-digit",
                                                                      "no-section"])
def test_without_the_exact_marker_the_file_is_descrambled(world, mark):
    world.machine.install(version=INSTALLED)
    world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=INSTALLED, mark=mark))
    run, rc = world.run()
    assert run.stdout == "done!\n"


def test_long_id_arrives_cut_to_259_characters(world):
    world.disc.viewer().suid(suid_text(mode="Clarivue", sid="x" * 300))
    world.run()
    args = harness.arguments_of(harness.started_command_lines(world.disc.root / "Tovi2009.exe")[0])
    assert args == "Clarivue#" + "x" * 259 + "#0"


def test_frame_never_shows_even_when_started_maximised(world):
    world.disc.setup().suid(suid_text(mode="DiscStudio"))
    run = world.start(start_max=True)
    try:
        prompt_windows = []
        for _ in range(100):
            prompt_windows = [w for w in harness.visible_windows("autorun.exe", world.tmp)
                              if w.split(" ")[1] == "1"]
            if prompt_windows:
                break
        # While the prompt waits, it is the launcher's only visible window.
        assert len(prompt_windows) == 1 and "#32770" in prompt_windows[0], prompt_windows
        assert harness.answer_prompt("no", world.tmp) is not None
        assert run.wait(30) == 0
    finally:
        run.kill()


def test_file_argument_that_cannot_be_opened_ends_before_reading(world):
    # No SUID.ini: reading it would print an error line.
    run, rc = world.run(harness.winpath(world.tmp / "missing.doc"))
    assert run.stdout == ""
    assert world.debug_lines() == []
    # A file that opens is a document like any other; the launcher goes on and reads its disc.
    doc = world.tmp / "present.doc"
    doc.write_bytes(b"")
    world.machine.install(version=INSTALLED)
    run, rc = world.run(harness.winpath(doc))
    assert "ERROR: Could not open:" in run.stdout
