"""Command-line behaviour of suidtool; run by ctest with SUIDTOOL set to the binary."""
import os
import subprocess

import pytest

TOOL = os.environ.get("SUIDTOOL", "suidtool")


def run(*args):
    return subprocess.run([TOOL, *map(str, args)], capture_output=True, text=True)


def read_fields(path):
    result = run("read", path)
    assert result.returncode == 0, result.stderr
    return dict(line.split(": ", 1) for line in result.stdout.splitlines())


@pytest.mark.parametrize("form, mark", [([], "091118"), (["--scrambled"], "")])
def test_write_then_read(tmp_path, form, mark):
    target = tmp_path / "SUID.ini"
    result = run("write", "--mode", "DiscStudio", "--id", " P 01 ", "--version", "7.-1.0.2147483647", *form, target)
    assert result.returncode == 0, result.stderr
    assert read_fields(target) == {
        "form": "scrambled" if form else "plain",
        "mode": "DiscStudio",
        "id": " P 01 ",
        "version": "7.-1.0.2147483647",
        "mark": mark,
    }
    assert sorted(os.listdir(tmp_path)) == ["SUID.ini"]


def test_scrambled_output_is_not_plain_text(tmp_path):
    scrambled = tmp_path / "SUID.ini"
    plain = tmp_path / "plain.ini"
    assert run("write", "--mode", "Clarivue", "--id", "P0001", "--version", "1.2.3.4", "--scrambled",
               scrambled).returncode == 0
    assert b"P0001" not in scrambled.read_bytes()
    assert run("descramble", scrambled, plain).returncode == 0
    text = plain.read_bytes()
    assert b"[SUID]\r\nID=P0001\r\n" in text
    assert b"091118" not in text
    assert read_fields(plain)["form"] == "scrambled"  # the descrambled text has no marker either


def test_scramble_and_descramble_are_inverse(tmp_path):
    original = tmp_path / "in.ini"
    original.write_bytes(b"[Program Version]\nHIMS=5\n[SUID]\nID=X\nabc")
    scrambled, back = tmp_path / "s.ini", tmp_path / "back.ini"
    assert run("scramble", original, scrambled).returncode == 0
    assert scrambled.read_bytes() != original.read_bytes()
    assert len(scrambled.read_bytes()) == len(original.read_bytes())
    fields = read_fields(scrambled)
    assert (fields["form"], fields["id"], fields["version"]) == ("scrambled", "X", "5.0.0.0")
    assert run("descramble", scrambled, back).returncode == 0
    assert back.read_bytes() == original.read_bytes()


@pytest.mark.parametrize("args, complaint", [
    ([], "no command"),
    (["frobnicate"], "unknown command"),
    (["read"], "read needs"),
    (["read", "a", "b"], "read needs"),
    (["scramble", "a"], "scramble needs"),
    (["write", "--mode", "M", "--id", "I", "F"], "--version"),
    (["write", "--mode", "M", "--id", "I", "--version"], "needs a value"),
    (["write", "--mode", "M", "--mode", "N", "--id", "I", "--version", "1.2.3.4", "F"], "twice"),
    (["write", "--mode", "M", "--id", "I", "--version", "1.2.3.4", "--colour", "F"], "unknown option"),
    (["write", "--mode", "M", "--id", "I", "--version", "1.2.3.4", "F", "G"], "one FILE"),
] + [(["write", "--mode", "M", "--id", "I", "--version", v, "F"], "bad version")
     for v in ["1.2.3", "1.2.3.4.5", "1..3.4", "1.2.3.", "a.b.c.d", "1.2.3.2147483648", "+1.2.3.4", " 1.2.3.4"]])
def test_usage_errors(tmp_path, args, complaint):
    result = subprocess.run([TOOL, *args], capture_output=True, text=True, cwd=tmp_path)
    assert result.returncode == 2
    assert complaint in result.stderr
    assert "usage:" in result.stderr
    assert os.listdir(tmp_path) == []


def test_help():
    result = run("--help")
    assert result.returncode == 0
    for command in ("read", "write", "scramble", "descramble"):
        assert f"  {command} " in result.stdout


def test_unreadable_input(tmp_path):
    missing = tmp_path / "missing.ini"
    for args in (["read", missing], ["scramble", missing, tmp_path / "out"]):
        result = run(*args)
        assert result.returncode == 1
        assert result.stderr == f"suidtool: cannot read {missing}: No such file or directory\n"
    assert os.listdir(tmp_path) == []


def test_failed_write_leaves_nothing_behind(tmp_path):
    occupied = tmp_path / "SUID.ini"
    occupied.mkdir()  # renaming a file over a directory fails, after the data was written
    result = run("write", "--mode", "M", "--id", "I", "--version", "1.2.3.4", occupied)
    assert result.returncode == 1
    assert result.stderr.startswith(f"suidtool: cannot write {occupied}: ")
    assert os.listdir(tmp_path) == ["SUID.ini"]
    result = run("write", "--mode", "M", "--id", "I", "--version", "1.2.3.4", tmp_path / "no" / "SUID.ini")
    assert result.returncode == 1
    assert "No such file or directory" in result.stderr


def test_existing_file_is_replaced_whole(tmp_path):
    target = tmp_path / "SUID.ini"
    target.write_bytes(b"x" * 10000)
    assert run("write", "--mode", "M", "--id", "I", "--version", "1.2.3.4", target).returncode == 0
    assert read_fields(target)["id"] == "I"
    assert len(target.read_bytes()) < 200


@pytest.mark.parametrize("value", ["two\nlines", "x" * 260, "a\rb"])
def test_values_the_file_cannot_carry_are_refused(tmp_path, value):
    target = tmp_path / "SUID.ini"
    result = run("write", "--mode", "M", "--id", value, "--version", "1.2.3.4", target)
    assert result.returncode == 2
    assert "--id" in result.stderr
    assert not target.exists()
