"""Command-line behaviour of suidtool; run by ctest with SUIDTOOL set to the binary."""
import itertools
import json
import os
import re
import shutil
import subprocess
import unicodedata
from pathlib import Path

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
    result = run("write", "--mode", "DiscStudio", "--id", " P 01", "--viewer-version", "7.0.0.2147483647", *form,
                 target)
    assert result.returncode == 0, result.stderr
    assert read_fields(target) == {
        "form": "scrambled" if form else "plain",
        "mode": "DiscStudio",
        "id": " P 01",
        "version": "7.0.0.2147483647",
        "mark": mark,
    }
    assert sorted(os.listdir(tmp_path)) == ["SUID.ini"]


# IDs the profile reader would strip or unquote: written quoted, they come back as given.
@pytest.mark.parametrize("mode, sid", [("DiscStudio", "''"), ("Clarivue", '""'), ("DiscStudio", "'a'"),
                                       ("DiscStudio", " lead"), ("Clarivue", '" spaced "')])
def test_ids_the_reader_would_change_are_written_quoted(tmp_path, mode, sid):
    target = tmp_path / "SUID.ini"
    result = run("write", "--mode", mode, "--id", sid, "--viewer-version", "1.0.0.0", target)
    assert result.returncode == 0, result.stderr
    assert read_fields(target)["id"] == sid


# The launcher converts each version part with atoi: clamped to the int range, never wrapped or shifted.
@pytest.mark.parametrize("written, read", [("-2147483647", "-2147483647"), ("-2147483648", "-2147483648"),
                                           ("-2147483649", "-2147483648"), ("2147483647", "2147483647"),
                                           ("2147483648", "2147483647"), (" 3.7", "3"), ("-2", "-2"),
                                           ("x1", "0"), ("", "0")])
def test_read_takes_version_parts_as_the_launcher_does(tmp_path, written, read):
    target = tmp_path / "SUID.ini"
    target.write_bytes(f"[Program Up]\nUP_A=091118\n[Program Version]\nHIMS={written}\nLOWMS=1\n"
                       f"[Execute Mode]\nMode=DiscStudio\n[SUID]\nID=A\n".encode())
    assert read_fields(target)["version"] == f"{read}.1.0.0"


def test_forced_negative_version_round_trips(tmp_path):
    target = tmp_path / "SUID.ini"
    result = run("write", "--force", "--mode", "DiscStudio", "--id", "A", "--viewer-version",
                 "-2147483647.-1.-2147483648.0", target)
    assert result.returncode == 0, result.stderr
    assert "warning: negative version part" in result.stderr
    assert read_fields(target)["version"] == "-2147483647.-1.-2147483648.0"


def test_scrambled_output_is_not_plain_text(tmp_path):
    scrambled = tmp_path / "SUID.ini"
    plain = tmp_path / "plain.ini"
    assert run("write", "--mode", "Clarivue", "--id", "P0001", "--viewer-version", "1.2.3.4", "--scrambled",
               scrambled).returncode == 0
    assert b"P0001" not in scrambled.read_bytes()
    assert run("descramble", scrambled, plain).returncode == 0
    text = plain.read_bytes()
    assert b"[SUID]\r\nID=P0001\r\n" in text
    assert b"091118" not in text


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


def scrambled_twice(path):
    assert run("write", "--mode", "DiscStudio", "--id", "A", "--viewer-version", "1.0.0.0", "--scrambled",
               path).returncode == 0
    assert run("scramble", "--force", path, path).returncode == 0


@pytest.mark.parametrize("make, complaint", [
    (lambda p: p.write_bytes(b"root:x:0:0:root:/root:/bin/bash\n"), "is not a SUID.ini"),
    (lambda p: p.write_bytes(b""), "is empty"),
    (scrambled_twice, "is not a SUID.ini"),
    (lambda p: p.write_bytes(b"[SUID]\r\nID=A\r\n"), "without the plain form's marker"),
], ids=["other-file", "empty", "scrambled-twice", "unmarked-plain"])
def test_read_of_what_the_launcher_cannot_read_says_so(tmp_path, make, complaint):
    target = tmp_path / "SUID.ini"
    make(target)
    result = run("read", target)
    assert result.returncode == 1
    assert result.stdout == ""
    assert complaint in result.stderr


@pytest.mark.parametrize("command, make", [
    ("scramble", lambda p: run("write", "--mode", "Clarivue", "--id", "A", "--viewer-version", "1.0.0.0",
                               "--scrambled", p)),
    ("descramble", lambda p: run("write", "--mode", "Clarivue", "--id", "A", "--viewer-version", "1.0.0.0", p)),
])
def test_transform_of_the_wrong_form_needs_force(tmp_path, command, make):
    source, out = tmp_path / "in.ini", tmp_path / "out.ini"
    make(source)
    result = run(command, source, out)
    assert result.returncode == 1
    assert "--force" in result.stderr and "nothing written" in result.stderr
    assert not out.exists()
    assert run(command, "--force", source, out).returncode == 0
    assert out.exists()


W = ["write", "--mode", "DiscStudio", "--id", "I", "--viewer-version", "1.2.3.4"]


@pytest.mark.parametrize("args, complaint", [
    ([], "no command given"),
    (["frobnicate"], "unknown command 'frobnicate'"),
    (["help", "frobnicate"], "no command 'frobnicate'"),
    (["read"], "missing FILE"),
    (["read", "a", "b"], "b"),
    (["scramble", "a"], "missing OUT"),
    (["write", "F"], "missing --mode, --id and --viewer-version"),
    (["make-disc", "--id", "I"], "missing --out, --patient, --mode and --viewer-version"),
    (["write", "--mode", "M", "--id", "I", "--viewer-version"], "--viewer-version"),
    (["write", "--mode", "M", "--mode", "N", "--id", "I", "--viewer-version", "1.2.3.4", "F"], "--mode"),
    (W + ["--colour", "F"], "--colour"),
    (W + ["F", "G"], "G"),
    (["write", "--mode", "M", "--id", "I", "--viewer-version", "1.2.3.4", "--version", "1.2.3.4", "F"], "--version"),
    (["check"], "missing PATH"),
    (["check", "D", "--install-folder"], "--install-folder"),
    (["iso", "D"], "missing OUT"),
    (["iso", "D", "O.iso", "--label", "L" * 33], "at most 32"),
    (["iso", "D", "O.iso", "--label", "K\u00e9"], "printable ASCII"),
    (["iso", "D", "O.iso", "--label", "A*B"], "printable ASCII"),
    (["make-disc", "--label", "A:B"], "printable ASCII"),
    (["verify", "I"], "missing DIR"),
] + [(["check", "--install-folder", folder, "D"], f"--install-folder: '{folder}'") for folder in
     ["/opt/viewer", "Tovi2009", "C:", "C:\\Viewer\\", "C:\\a|b", "C:\\x\\CON", "\\\\server", "C:\\dot."]]
  + [(["write", "--mode", "M", "--id", "I", "--viewer-version", v, "F"], "expected A.B.C.D")
     for v in ["1.2.3", "1.2.3.4.5", "1..3.4", "1.2.3.", "a.b.c.d", "1.2.3.2147483648", "+1.2.3.4", " 1.2.3.4"]])
def test_usage_errors_are_one_line_and_a_pointer(tmp_path, args, complaint):
    result = subprocess.run([TOOL, *args], capture_output=True, text=True, cwd=tmp_path)
    assert result.returncode == 2, result.stderr
    lines = result.stderr.splitlines()
    assert len(lines) == 2, result.stderr
    assert complaint in lines[0]
    assert lines[1].startswith("Run 'suidtool") and lines[1].endswith("--help' for more information.")
    assert result.stdout == ""
    assert os.listdir(tmp_path) == []


@pytest.mark.parametrize("args", [["help", "make-disc"], ["make-disc", "--help"], ["make-disc", "-h"],
                                  ["make-disc", "--out", "O", "--help"]])
def test_help_of_a_command_shows_its_own_options(args):
    result = run(*args)
    assert result.returncode == 0
    assert "Usage: suidtool make-disc [OPTIONS]" in result.stdout
    for option in ("--out", "--patient", "--viewer-version", "--label", "--force", "--quiet"):
        assert option in result.stdout
    assert "--install-folder" not in result.stdout  # check's, not make-disc's


@pytest.mark.parametrize("args", [["--help"], ["-h"], ["help"]])
def test_help_lists_every_command(args):
    result = run(*args)
    assert result.returncode == 0
    for command in ("read", "write", "scramble", "descramble", "make-disc", "check", "iso", "verify"):
        assert f"  {command} " in result.stdout, command


def test_version_is_the_tools_own():
    result = run("--version")
    assert result.returncode == 0
    assert re.fullmatch(r"suidtool \d+\.\d+\.\d+\n", result.stdout)


def test_equals_form_the_older_version_spelling_and_double_dash(tmp_path):
    result = subprocess.run([TOOL, "write", "--mode=Clarivue", "--id=A=B", "--version", "1.2.3.4", "--",
                             "-SUID.ini"], capture_output=True, text=True, cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    fields = read_fields(tmp_path / "-SUID.ini")
    assert (fields["mode"], fields["id"], fields["version"]) == ("Clarivue", "A=B", "1.2.3.4")


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
    result = run(*W, occupied)
    assert result.returncode == 1
    assert result.stderr.startswith(f"suidtool: cannot write {occupied}: ")
    assert os.listdir(tmp_path) == ["SUID.ini"]
    result = run(*W, tmp_path / "no" / "SUID.ini")
    assert result.returncode == 1
    assert "No such file or directory" in result.stderr


def test_existing_file_is_replaced_whole(tmp_path):
    target = tmp_path / "SUID.ini"
    target.write_bytes(b"x" * 10000)
    assert run("write", "--mode", "DiscStudio", "--id", "I", "--viewer-version", "1.2.3.4", target).returncode == 0
    assert read_fields(target)["id"] == "I"
    assert len(target.read_bytes()) < 200


# What write refuses: values the file cannot carry (never written), and values the launcher would reject (written
# with --force, with a warning).
@pytest.mark.parametrize("mode, sid, version, reason, forced", [
    ("DiscStudio", "two\nlines", "1.0.0.0", "--id: a line break ends the value", False),
    ("DiscStudio", "x" * 260, "1.0.0.0", "--id: 260 characters; the launcher reads at most 259", False),
    ("Disc\rStudio", "A", "1.0.0.0", "--mode: a line break", False),
    ("discstudio", "A", "1.0.0.0", "unknown mode", True),
    ("DiscStudio", "../etc", "1.0.0.0", "ID that cannot name a patient folder", True),
    ("DiscStudio", "", "1.0.0.0", "ID that cannot name a patient folder", True),
    ("BasicStudio", "LPT1", "1.0.0.0", "ID that cannot name a patient folder", True),
    ("DiscStudio", "A", "-1.0.0.0", "negative version part", True),
])
def test_write_refuses_what_the_launcher_would_reject_or_read_otherwise(tmp_path, mode, sid, version, reason,
                                                                          forced):
    target = tmp_path / "SUID.ini"
    result = run("write", "--mode", mode, "--id", sid, "--viewer-version", version, target)
    assert result.returncode == 1
    assert f"suidtool: refused: " in result.stderr and reason in result.stderr
    assert result.stderr.endswith("suidtool: nothing written\n")
    assert not target.exists()
    result = run("write", "--force", "--mode", mode, "--id", sid, "--viewer-version", version, target)
    assert result.returncode == (0 if forced else 1), result.stderr
    assert target.exists() == forced
    if forced:
        assert "suidtool: warning: " in result.stderr and reason in result.stderr
        assert read_fields(target)["id"] == sid


# --- disc authoring: make-disc, check, iso ----------------------------------------------------------------

XORRISO = shutil.which("xorriso")
needs_xorriso = pytest.mark.skipif(XORRISO is None, reason="xorriso is not installed")
ID = "20091118_KIM"
SUB_SECOND = 1_577_934_245_678_901_234  # 2020-01-02 03:04:05.678901234 UTC: ISO 9660 keeps only the seconds
COMMAND_LINE = f'"C:\\Tovi2009\\Tovi2009.exe" DiscStudio#{ID}#C:\\Tovi2009\\Patient\\{ID}\\Default.npj'


def touch(path, content=b"", mtime_ns=None):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(content)
    if mtime_ns is not None:
        os.utime(path, ns=(mtime_ns, mtime_ns))
    return path


@pytest.fixture
def sources(tmp_path):
    """What a disc is made of: the patient folder, the reference tree, the viewer folder and a launcher."""
    src = tmp_path / "src"
    touch(src / "patient" / "Default.npj", b"project")
    touch(src / "patient" / "scan.dcm", b"x" * 5000, SUB_SECOND)
    (src / "patient" / "Series.1").mkdir()
    touch(src / "implantdb" / "index.db", b"root")
    touch(src / "implantdb" / "Maker" / "Line" / "fixture.stl", b"deep", SUB_SECOND + 7 * 10**9)
    (src / "implantdb" / "Maker" / "Empty").mkdir()
    os.utime(src / "implantdb" / "Maker", ns=(SUB_SECOND, SUB_SECOND))
    touch(src / "viewer" / "Tovi2009.exe", b"MZ viewer", SUB_SECOND)
    touch(src / "viewer" / "Setup" / "Setup.exe", b"MZ setup")
    touch(src / "viewer" / "Setup" / "data1.cab", b"cab")
    touch(src / "autorun.exe", b"MZ launcher", SUB_SECOND)
    return src


def make_disc(src, out, *extra, mode="DiscStudio", sid=ID, implantdb=True, viewer=True, autorun=True, tool=TOOL):
    args = ["make-disc", "--out", out, "--patient", src / "patient", "--id", sid, "--mode", mode,
            "--viewer-version", "1.2.3.4"]
    args += ["--implantdb", src / "implantdb"] if implantdb else []
    args += ["--viewer", src / "viewer"] if viewer else []
    args += ["--autorun", src / "autorun.exe"] if autorun else []
    return subprocess.run([tool, *map(str, args), *extra], capture_output=True, text=True)


def tree(root, seconds=False):
    """Relative path -> (contents, or None for anything but a file; modification time in ns, or whole s)."""
    result = {}
    for dirpath, dirs, files in os.walk(root):
        for name in dirs + files:
            path = Path(dirpath) / name
            mtime = path.stat().st_mtime_ns
            contents = path.read_bytes() if path.is_file() else None  # never opens a pipe
            result[path.relative_to(root).as_posix()] = (contents, mtime // 10**9 if seconds else mtime)
    return result


@pytest.mark.parametrize("form", ["scrambled", "plain"])
def test_make_disc_lays_out_a_disc_with_times_kept(sources, tmp_path, form):
    out = tmp_path / "disc"
    result = make_disc(sources, out, *(["--plain"] if form == "plain" else []))
    assert result.returncode == 0, result.stderr
    assert sorted(os.listdir(out)) == ["Data", "ImplantDB", "SUID.ini", "Setup", "Tovi2009.exe", "autorun.exe",
                                       "autorun.inf"]
    for disc_name, source in [("Data", "patient"), ("ImplantDB", "implantdb"), ("Setup", "viewer/Setup")]:
        assert tree(out / disc_name) == tree(sources / source), disc_name
        assert os.stat(out / disc_name).st_mtime_ns == os.stat(sources / source).st_mtime_ns
    for disc_name, source in [("autorun.exe", "autorun.exe"), ("Tovi2009.exe", "viewer/Tovi2009.exe")]:
        assert (out / disc_name).read_bytes() == (sources / source).read_bytes()
        assert os.stat(out / disc_name).st_mtime_ns == SUB_SECOND
    assert (out / "autorun.inf").read_bytes() == \
        f"[autorun]\r\nopen=autorun.exe\r\nicon=autorun.exe,0\r\nlabel={ID}\r\n".encode()
    assert read_fields(out / "SUID.ini") == {"form": form, "mode": "DiscStudio", "id": ID, "version": "1.2.3.4",
                                             "mark": "091118" if form == "plain" else ""}
    assert sorted(os.listdir(tmp_path)) == ["disc", "src"]


@pytest.mark.parametrize("sid, label", [("A1", "A1"), (" Kim, Ji-hoon (2009-11-18)", "Kim_Ji-hoon_2009-11-18"),
                                        ("\uae40", "PATIENT"), ("P" * 40, "P" * 32)])
def test_make_disc_labels_the_disc_after_the_id(sources, tmp_path, sid, label):
    result = make_disc(sources, tmp_path / "disc", sid=sid)
    assert result.returncode == 0, result.stderr
    assert (tmp_path / "disc" / "autorun.inf").read_text().splitlines()[-1] == f"label={label}"


def test_make_disc_takes_the_builds_launcher_by_default(sources, tmp_path):
    tool = tmp_path / "build" / "native" / "suidtool"
    tool.parent.mkdir(parents=True)
    shutil.copy(TOOL, tool)
    touch(tmp_path / "build" / "win32" / "autorun.exe", b"MZ built")
    assert make_disc(sources, tmp_path / "disc", autorun=False, tool=tool).returncode == 0
    assert (tmp_path / "disc" / "autorun.exe").read_bytes() == b"MZ built"
    shutil.rmtree(tmp_path / "build" / "win32")
    result = make_disc(sources, tmp_path / "disc2", autorun=False, tool=tool)
    assert result.returncode == 1
    assert f"no launcher at {tool.parent}/../win32/autorun.exe" in result.stderr


BUILD = Path(TOOL).resolve().parent
BUILT_LAUNCHER = BUILD.parent / "win32" / "autorun.exe"


@pytest.mark.skipif(not BUILT_LAUNCHER.exists(), reason="the launcher is not built")
def test_installed_suidtool_takes_the_launcher_installed_with_it(sources, tmp_path):
    prefix = tmp_path / "prefix"
    installed = subprocess.run(["cmake", "--install", BUILD, "--prefix", prefix], capture_output=True, text=True)
    assert installed.returncode == 0, installed.stdout + installed.stderr
    assert sorted(str(p.relative_to(prefix)) for p in prefix.rglob("*") if p.is_file()) == [
        "bin/suidtool", "share/suidtool/autorun.exe"]
    assert make_disc(sources, tmp_path / "disc", autorun=False, tool=prefix / "bin" / "suidtool").returncode == 0
    assert (tmp_path / "disc" / "autorun.exe").read_bytes() == BUILT_LAUNCHER.read_bytes()


def files_in_subfolder(src, _out):
    for i in range(12):
        touch(src / "patient" / "Series.1" / f"slice{i:02d}.dcm", b"s")


def twin(name):
    return lambda s, o: touch(s / "patient" / name)


# Everything check calls a problem, make-disc refuses before writing anything; the forcible ones it writes with
# --force, naming them as warnings. The command's own refusals (where the disc goes, what the sources are) and
# values SUID.ini cannot carry stay refused.
@pytest.mark.parametrize("prepare, options, complaints, forcible", [
    (None, dict(sid="con.txt"), ["ID that cannot name a patient folder", '"con.txt"'], True),
    (None, dict(sid="../etc"), ["ID that cannot name", '"../etc"'], True),
    (None, dict(sid="A1 "), ["ID that cannot name", '"A1 "'], True),
    (None, dict(mode="discstudio"), ["unknown mode", '"discstudio"'], True),
    (None, dict(sid="", mode="Viewer"), ["unknown mode", '"Viewer"'], True),
    (None, dict(mode="Disc\nStudio"), ["--mode: a line break"], False),
    (lambda s, o: (s / "patient" / "Default.npj").unlink(), {}, ["no Data\\Default.npj"], True),
    (files_in_subfolder, {}, ["files in Data subfolders never arrive", "Data\\Series.1\\slice00.dcm",
                              "Data\\Series.1\\slice09.dcm", "... and 2 more"], True),
    (twin("a:b.dcm"), {}, ["names Windows cannot use", "Data\\a:b.dcm"], True),
    (twin("CON.dcm"), {}, ["names Windows cannot use", "Data\\CON.dcm"], True),
    (twin("trail."), {}, ["names Windows cannot use", "Data\\trail."], True),
    (twin("SCAN.dcm"), {}, ["names that differ only in case", "Data\\SCAN.dcm and Data\\scan.dcm"], True),
    (lambda s, o: touch(s / "autorun.exe", b"root:x:0:0"), {}, ["not a Windows program", "autorun.exe"], True),
    (lambda s, o: shutil.rmtree(s / "viewer" / "Setup"), {}, ["no Setup\\Setup.exe"], True),
    (None, dict(mode="Clarivue", viewer=False), ["no Tovi2009.exe"], True),
    (lambda s, o: os.mkfifo(s / "patient" / "pipe"), {}, ["neither file nor folder", "Data\\pipe"], False),
    (lambda s, o: touch(o / "old.txt"), {}, ["exists and is not empty"], False),
    (lambda s, o: touch(o), {}, ["exists and is not a folder"], False),
    (lambda s, o: shutil.rmtree(s / "patient"), {}, ["--patient", "no such folder"], False),
    (lambda s, o: (s / "viewer" / "Tovi2009.exe").unlink(), {}, ["has no Tovi2009.exe"], False),
    (lambda s, o: (s / "autorun.exe").unlink(), {}, ["no launcher at"], False),
], ids=["device-id", "dotdot-id", "blank-id", "mode-case", "two-at-once", "mode-lost", "no-project",
        "buried-files", "colon-name", "device-name", "trailing-dot", "case-twins", "autorun-not-a-program",
        "no-setup", "disc-viewer-alone", "pipe", "out-not-empty", "out-file", "no-patient", "no-viewer-exe",
        "no-launcher"])
def test_make_disc_refuses_what_check_would_report(sources, tmp_path, prepare, options, complaints, forcible):
    out = tmp_path / "disc"
    if prepare:
        prepare(sources, out)
    before = tree(tmp_path)
    result = make_disc(sources, out, **options)
    assert result.returncode == 1
    for complaint in complaints:
        assert complaint in result.stderr
    assert "suidtool: refused: " in result.stderr
    assert result.stderr.endswith("suidtool: nothing written\n")
    assert tree(tmp_path) == before
    forced = make_disc(sources, out, "--force", **options)
    assert forced.returncode == (0 if forcible else 1), forced.stderr
    if forcible:
        assert "suidtool: refused" not in forced.stderr
        for complaint in complaints:
            assert complaint in forced.stderr
        assert forced.stderr.startswith("suidtool: warning: ")
        assert check(out).returncode == 1  # the forced disc is the one check calls not sound
    else:
        assert tree(tmp_path) == before


def out_in(source):
    return lambda s: s / source / "disc"


@pytest.mark.parametrize("out, complaint", [
    (out_in("implantdb"), "lies inside the source"),
    (out_in("patient"), "lies inside the source"),
    (lambda s: s / "patient", "lies inside the source"),
    (lambda s: s, "the source"),
], ids=["out-in-implantdb", "out-in-patient", "out-is-patient", "sources-in-out"])
def test_make_disc_refuses_an_out_inside_a_source_and_a_source_inside_the_out(sources, tmp_path, out, complaint):
    before = tree(tmp_path)
    result = make_disc(sources, out(sources), "--force")
    assert result.returncode == 1
    assert complaint in result.stderr
    assert tree(tmp_path) == before


def test_make_disc_takes_the_given_label_and_warns_where_windows_shows_less(sources, tmp_path):
    result = make_disc(sources, tmp_path / "short", "--label", "Kim 2009")
    assert result.returncode == 0, result.stderr
    assert result.stderr == ""
    assert (tmp_path / "short" / "autorun.inf").read_text().splitlines()[-1] == "label=Kim 2009"
    result = make_disc(sources, tmp_path / "long", "--label=Kim Ji-hoon 2009-11-18")
    assert result.returncode == 0, result.stderr
    assert "warning: the label 'Kim Ji-hoon 2009-11-18' has 22 characters" in result.stderr
    assert "first 16 ('Kim Ji-hoon 2009')" in result.stderr


def test_make_disc_failing_midway_leaves_nothing_behind(sources, tmp_path):
    # Opens as a file, then fails on the first read: the copy fails after other files were written.
    os.symlink("/proc/self/mem", sources / "patient" / "zz.bin")
    result = make_disc(sources, tmp_path / "disc")
    assert result.returncode == 1
    assert "cannot read" in result.stderr and "zz.bin" in result.stderr
    assert result.stderr.endswith("nothing written\n")
    assert sorted(os.listdir(tmp_path)) == ["src"]


def check(disc, *options):
    result = run("check", *options, disc)
    assert result.returncode in (0, 1), result.stderr
    return result


def test_forced_disc_is_made_and_check_names_what_is_wrong(sources, tmp_path):
    (sources / "patient" / "Default.npj").unlink()
    touch(sources / "patient" / "Series.1" / "inner.dcm", b"inner")
    result = make_disc(sources, tmp_path / "disc", "--force", mode="Viewer")
    assert result.returncode == 0, result.stderr
    assert (tmp_path / "disc" / "Data" / "Series.1" / "inner.dcm").read_bytes() == b"inner"
    report = check(tmp_path / "disc")
    assert report.returncode == 1
    for problem in ("problem: unknown mode", "problem: no Data\\Default.npj",
                    "problem: files in Data subfolders never arrive", "      Data\\Series.1\\inner.dcm"):
        assert problem in report.stdout
    assert "result:   NOT SOUND (3 problem(s)" in report.stdout


@pytest.mark.parametrize("options, rows", [
    ([], [f"copy    Data\\Default.npj                  C:\\Tovi2009\\Patient\\{ID}\\Default.npj  every run (project file)",
          f"copy    Data\\scan.dcm                     C:\\Tovi2009\\Patient\\{ID}\\scan.dcm     unless size and time match",
          f"folder  Data\\Series.1                     C:\\Tovi2009\\Patient\\{ID}\\Series.1     created empty",
          "copy    ImplantDB\\Maker\\Line\\fixture.stl  C:\\Tovi2009\\ImplantDB\\Maker\\Line\\fixture.stl  every run",
          f"then command line: {COMMAND_LINE}",
          'on Yes command line: "<disc>\\Setup\\Setup.exe"',
          "Tovi Plus Disc Studio Program was not Installed. Do you want to install Tovi Plus Disc Studio?"]),
    (["--install-folder", "D:\\Viewer Folder"],
     [f'then command line: "D:\\Viewer Folder\\Tovi2009.exe" DiscStudio#{ID}#D:\\Viewer Folder\\Patient\\{ID}\\Default.npj',
      "(D:\\Viewer Folder\\Patient and D:\\Viewer Folder\\ImplantDB must exist"]),
    (["--install-folder", ""], [f"then command line: {COMMAND_LINE}", "note: install folder empty"]),
])
def test_check_reports_what_the_launcher_does_with_a_sound_disc(sources, tmp_path, options, rows):
    assert make_disc(sources, tmp_path / "disc").returncode == 0
    report = check(tmp_path / "disc", *options)
    assert report.returncode == 0, report.stdout
    assert f'SUID.ini: scrambled form; mode "DiscStudio", ID "{ID}", version 1.2.3.4' in report.stdout
    lines = [line.strip() for line in report.stdout.splitlines()]
    for row in rows:
        assert row in report.stdout, row
    assert sum(line.startswith("copy ") for line in lines) == 4
    assert "Problems (0): none" in report.stdout
    assert lines[4].startswith("result:   sound (0 problem(s),")  # the summary comes first


def many_files(count):
    def change(disc):
        for i in range(count):
            touch(disc / "Data" / f"CT{i:04d}.dcm", b"slice")
    return change


def test_check_lists_a_large_disc_compactly_and_every_file_when_verbose(sources, tmp_path):
    disc = tmp_path / "disc"
    assert make_disc(sources, disc).returncode == 0
    many_files(300)(disc)
    for i in range(15):
        touch(disc / "Data" / f"s{i:02d}\uc2a4\uce94.dcm")  # names that are not 8.3: 15 items of one note
    compact = check(disc)
    assert compact.returncode == 0, compact.stdout
    assert len(compact.stdout.splitlines()) < 60
    rows = [" ".join(line.split()) for line in compact.stdout.splitlines()]
    assert f"copy Data\\* (316 files) C:\\Tovi2009\\Patient\\{ID}\\ unless size and time match" in rows
    assert "      ... and 5 more" in compact.stdout
    verbose = check(disc, "--verbose")
    lines = verbose.stdout.splitlines()
    assert sum(line.strip().startswith("copy    Data\\") for line in lines) == 317  # and the project file
    assert "... and" not in verbose.stdout


def test_check_json_is_the_report_as_data(sources, tmp_path):
    disc = tmp_path / "disc"
    assert make_disc(sources, disc).returncode == 0
    touch(disc / "Data" / "SCAN.DCM")
    touch(disc / "Data" / "long_name.dcm")
    text = check(disc).stdout
    result = check(disc, "--json")
    assert result.returncode == 1
    report = json.loads(result.stdout)
    assert (report["sound"], report["problems"], report["notes"]) == (False, 1, 1)
    assert report["suid"] == {"form": "scrambled", "mode": "DiscStudio", "id": ID, "version": "1.2.3.4"}
    assert sorted((f["severity"], f["key"], f["items"]) for f in report["findings"]) == [
        ("note", "not-8.3", ["Data\\long_name.dcm"]),
        ("problem", "case-twins", ["Data\\SCAN.DCM and Data\\scan.dcm"])]
    for finding in report["findings"]:
        assert f"{finding['severity']}: {finding['text']}" in text
    actions = report["with_viewer"]["actions"]
    assert len(actions) == sum(line.strip().startswith(("copy ", "folder ")) for line in text.splitlines())
    assert {"action": "copy", "from": "Data\\scan.dcm", "to": f"C:\\Tovi2009\\Patient\\{ID}\\scan.dcm",
            "when": "unless size and time match"} in actions
    assert report["with_viewer"]["command_line"] in text
    assert report["content"]["files"] == 12


def test_check_keeps_the_columns_of_korean_names(sources, tmp_path):
    disc = tmp_path / "disc"
    assert make_disc(sources, disc).returncode == 0
    touch(disc / "Data" / "\ud30c\ub178\ub77c\ub9c8.dcm")  # four wide characters
    touch(disc / "Data" / "panorama.dcm")
    rows = [line for line in check(disc).stdout.splitlines() if line.startswith(("  copy ", "  folder "))]
    assert len(rows) > 5

    def column_of(line, text):
        before = line[:line.index(text)]
        return sum(2 if unicodedata.east_asian_width(c) == "W" else 1 for c in before)

    assert len({column_of(row, "C:\\Tovi2009") for row in rows}) == 1, rows
    assert len({column_of(row, "  every run" if "every run" in row else "  unless" if "unless" in row
                          else "  created") for row in rows}) == 1, rows


def test_check_of_a_disc_viewer_disc(sources, tmp_path):
    assert make_disc(sources, tmp_path / "disc", mode="Clarivue", sid="A 1").returncode == 0
    report = check(tmp_path / "disc")
    assert report.returncode == 0, report.stdout
    assert 'command line: "<disc>\\Tovi2009.exe" Clarivue#A 1#0' in report.stdout
    assert "copy " not in report.stdout
    (tmp_path / "disc" / "Tovi2009.exe").unlink()
    report = check(tmp_path / "disc")
    assert report.returncode == 1 and "problem: no Tovi2009.exe" in report.stdout


def set_suid(mode=None, sid=ID):
    def change(disc):
        assert run("write", "--force", "--mode", mode or "DiscStudio", "--id", sid, "--viewer-version", "1.2.3.4",
                   disc / "SUID.ini").returncode == 0
    return change


def deep_path(disc):
    # Joliet's budget: 1 + 4 levels + 2 x 118 characters = 241 bytes, one too many (xorriso drops it silently).
    touch(disc / "ImplantDB" / ("a" * 60) / ("b" * 44) / "c.stl")


def huge_file(disc):
    with open(disc / "Data" / "volume.raw", "wb") as f:
        f.truncate(4 << 30)  # sparse: costs no disk


@pytest.mark.parametrize("change, options, finding, item", [
    (lambda d: (d / "autorun.exe").unlink(), [], "problem: no autorun.exe", None),
    (lambda d: (d / "SUID.ini").unlink(), [], ["problem: no SUID.ini", "problem: unknown mode"], None),
    (lambda d: shutil.rmtree(d / "Data"), [], "problem: no Data folder", None),
    (lambda d: (d / "Data" / "Default.npj").rename(d / "Data" / "Default.prj"), [], "problem: no Data\\Default.npj",
     None),
    (lambda d: shutil.rmtree(d / "Setup"), [], "problem: no Setup\\Setup.exe", None),
    (set_suid(sid="LPT1"), [], "problem: ID that cannot name a patient folder", '"LPT1"'),
    (set_suid(mode="Discstudio"), [], "problem: unknown mode", '"Discstudio"'),
    (lambda d: touch(d / "Data" / "Series.1" / "inner.dcm"), [], "problem: files in Data subfolders",
     "Data\\Series.1\\inner.dcm"),
    (lambda d: touch(d / "Data" / "a:b.dcm"), [], "problem: names Windows cannot use", "Data\\a:b.dcm"),
    (lambda d: touch(d / "Data" / "SCAN.DCM"), [], "problem: names that differ only in case",
     "Data\\SCAN.DCM and Data\\scan.dcm"),
    (lambda d: touch(d / "ImplantDB" / ("n" * 61 + ".stl")), [], "problem: names longer than Joliet's 64",
     "ImplantDB\\" + "n" * 61 + ".stl (65)"),
    (deep_path, [], "problem: paths too long or deep for Joliet",
     "ImplantDB\\" + "a" * 60 + "\\" + "b" * 44 + "\\c.stl"),
    (lambda d: touch(d / "Data" / "face\U0001F600.png"), [], "problem: names that are not UTF-8", "Data\\face"),
    (lambda d: os.mkfifo(d / "Data" / "pipe"), [], "problem: neither file nor folder", "Data\\pipe"),
    (huge_file, [], "problem: files of 4 GiB or more", "Data\\volume.raw"),
    (lambda d: touch(d / "ImplantDB" / ("f" * 60)), ["--install-folder", "C:\\" + "i" * 190],
     "problem: copies whose target", "C:\\" + "i" * 190 + "\\ImplantDB\\" + "f" * 60),
    # 257 characters fit, but not the temporary copy beside them; Series.1's folder is too long as well.
    (lambda d: None, ["--install-folder", "C:\\" + "i" * 221],
     ["problem: copies whose target", "problem: folders longer than the 247"], f"\\Patient\\{ID}\\Default.npj"),
    # Every target and folder fits, but not the staging folder each copy goes through and the copy staged in it.
    (lambda d: None, ["--install-folder", "C:\\" + "i" * 196], "problem: copies whose target",
     f"\\Patient\\{ID}\\Default.npj"),
    (lambda d: (d / "Data" / ("s" * 60)).mkdir(), ["--install-folder", "C:\\" + "i" * 170],
     "problem: folders longer than the 247", f"\\Patient\\{ID}\\" + "s" * 60),
    (lambda d: (d / "ImplantDB" / "a" / "b" / "c" / "d" / "e" / "f" / "g").mkdir(parents=True), [],
     "note: folders deeper than 8 levels", "ImplantDB\\a\\b\\c\\d\\e\\f\\g"),
    (lambda d: touch(d / "Data" / "caf\u00e9.dcm"), [], "note: names beyond ASCII", "Data\\caf\u00e9.dcm"),
    (set_suid(sid="A#1"), [], "note: the ID holds '#'", '"A#1"'),
    (lambda d: touch(d / "Data" / "long_name.dcm"), [], "note: names that are not 8.3", "Data\\long_name.dcm"),
], ids=["no-autorun", "no-suid", "no-data", "no-project", "no-setup", "bad-id", "unknown-mode", "buried",
        "windows-name", "case-twins", "joliet-name", "joliet-path", "beyond-ucs2", "pipe", "4gib", "long-target",
        "long-target-temp", "long-staging", "long-folder", "iso-depth", "non-ascii", "hash-id", "not-8.3"])
def test_check_finds_what_keeps_a_disc_from_working(sources, tmp_path, change, options, finding, item):
    disc = tmp_path / "disc"
    assert make_disc(sources, disc).returncode == 0
    change(disc)
    report = check(disc, *options)
    findings = finding if isinstance(finding, list) else [finding]
    problems = [f for f in findings if f.startswith("problem:")]
    assert report.returncode == (1 if problems else 0), report.stdout
    lines = report.stdout.splitlines()
    at = [i for i, line in enumerate(lines) if line.strip().startswith(tuple(findings))]
    assert len(at) == len(findings), report.stdout
    if item is not None:
        items = [line.strip() for line in itertools.takewhile(lambda l: l.startswith("      "), lines[at[0] + 1:])]
        assert [i for i in items if i.startswith(item) or i.endswith(item)], items
    assert report.stdout.count("problem:") == len(problems), report.stdout


def test_check_of_what_is_not_a_folder(tmp_path):
    result = run("check", tmp_path / "missing")
    assert result.returncode == 1
    assert result.stderr == f"suidtool: cannot list {tmp_path / 'missing'}: No such file or directory\n"


def volume_labels(image):
    """The plain ISO 9660 volume ID and the Joliet one (which Windows shows)."""
    with open(image, "rb") as f:
        data = f.read(19 * 2048)
    plain = data[16 * 2048 + 40:16 * 2048 + 72].decode("ascii").rstrip()
    joliet = data[17 * 2048 + 40:17 * 2048 + 72].decode("utf-16-be").rstrip()
    assert data[17 * 2048] == 2  # a supplementary descriptor: the Joliet tree is there
    return plain, joliet


def extract(image, target, joliet):
    """The image's files as Windows (Joliet tree) or a Unix reader (Rock Ridge) sees them."""
    read_fs = ["-read_fs", "norock"] if joliet else []
    subprocess.run([XORRISO, *read_fs, "-osirrox", "on", "-indev", image, "-extract", "/", target],
                   check=True, capture_output=True)
    return target


@needs_xorriso
def test_iso_round_trip_keeps_names_contents_and_whole_seconds(sources, tmp_path):
    disc = tmp_path / "disc"
    assert make_disc(sources, disc).returncode == 0
    touch(disc / "ImplantDB" / "Maker" / "Implant \u00e9 \uc784\ud50c\ub780\ud2b8.stl", b"utf", SUB_SECOND - 10**9)
    touch(disc / "ImplantDB" / ("n" * 60 + ".stl"), b"64 characters", SUB_SECOND + 10**9 - 1)
    touch(disc / "ImplantDB" / ("a" * 60) / ("f" * 49), b"240 bytes of Joliet path: just fits")
    deep = disc / "ImplantDB" / "a" / "b" / "c" / "d" / "e" / "f" / "g" / "h" / "deep.stl"
    touch(deep, b"ten levels")
    image = tmp_path / "disc.iso"
    result = run("iso", disc, image)
    assert result.returncode == 0, result.stderr
    assert sorted(os.listdir(tmp_path)) == ["disc", "disc.iso", "src"]
    expected = tree(disc, seconds=True)
    assert expected["Data/scan.dcm"][1] == SUB_SECOND // 10**9
    for joliet in (True, False):
        assert tree(extract(image, tmp_path / f"x{joliet}", joliet), seconds=True) == expected, joliet
    assert volume_labels(image) == (ID, ID[:16])
    labelled = tmp_path / "labelled.iso"
    assert run("iso", disc, labelled, "--label", "Kim 2009").returncode == 0
    assert volume_labels(labelled) == ("Kim 2009", "Kim 2009")
    (disc / "autorun.inf").unlink()
    assert run("iso", disc, tmp_path / "plain.iso").returncode == 0
    assert volume_labels(tmp_path / "plain.iso")[0] == "PATIENT"


def fake_xorriso(folder, script):
    fake = touch(folder / "xorriso", f"#!/bin/sh\n{script}\n".encode())
    fake.chmod(0o755)


@needs_xorriso
@pytest.mark.parametrize("change, path, complaints", [
    (lambda d: touch(d / "Data" / ("n" * 65)), None, ["refused: names longer than Joliet's 64", "n" * 65 + " (65)"]),
    (deep_path, None, ["refused: paths too long or deep for Joliet"]),
    (lambda d: (d / "Setup" / "Setup.exe").unlink(), None, ["refused: no Setup\\Setup.exe"]),
    (None, "empty", ["xorriso not found on PATH", "apt-get install xorriso"]),
    (None, "failing", ["xorriso failed (exit 3):", "no medium here"]),
], ids=["long-name", "long-path", "not-sound", "no-xorriso", "xorriso-fails"])
def test_iso_failures_leave_nothing_behind(sources, tmp_path, change, path, complaints):
    disc = tmp_path / "disc"
    assert make_disc(sources, disc).returncode == 0
    if change:
        change(disc)
    env = dict(os.environ)
    if path:
        bin_dir = tmp_path / "bin"
        bin_dir.mkdir()
        if path == "failing":
            fake_xorriso(bin_dir, 'echo "no medium here" >&2; exit 3')
        env["PATH"] = str(bin_dir)
    before = sorted(os.listdir(tmp_path))
    result = subprocess.run([TOOL, "iso", disc, tmp_path / "disc.iso"], capture_output=True, text=True, env=env)
    assert result.returncode == 1
    for complaint in complaints:
        assert complaint in result.stderr
    assert result.stderr.endswith("nothing written\n")
    assert sorted(os.listdir(tmp_path)) == before


def report_without_first_line(result):
    return result.stdout.split("\n", 1)[1]


@needs_xorriso
def test_check_reads_an_image_as_windows_does(sources, tmp_path):
    disc = tmp_path / "disc"
    assert make_disc(sources, disc).returncode == 0
    touch(disc / "Data" / "\ud30c\ub178\ub77c\ub9c8.dcm", b"korean")
    (disc / "Setup" / "Setup.exe").unlink()
    assert run("iso", "--force", disc, tmp_path / "disc.iso").returncode == 0
    folder, image = check(disc), check(tmp_path / "disc.iso")
    assert image.returncode == folder.returncode == 1
    assert "problem: no Setup\\Setup.exe" in image.stdout
    assert "Data\\\ud30c\ub178\ub77c\ub9c8.dcm" in image.stdout
    # The same report, apart from the name of what was checked.
    assert report_without_first_line(image) == report_without_first_line(folder)


@pytest.mark.parametrize("change, notes", [
    (lambda d: (d / "SUID.ini").unlink(), ["SUID.ini: missing", "problem: no SUID.ini"]),
    (lambda d: (d / "SUID.ini").write_bytes(b"not a SUID.ini"),
     ["SUID.ini: not a SUID.ini", "problem: SUID.ini holds nothing the launcher can read"]),
    (set_suid(sid="\uae40\ubbfc\uc900"), ["note: the ID holds characters beyond ASCII", '"\uae40\ubbfc\uc900"']),
], ids=["no-suid", "not-suid", "korean-id"])
def test_check_says_what_it_read_of_suid_ini(sources, tmp_path, change, notes):
    disc = tmp_path / "disc"
    assert make_disc(sources, disc).returncode == 0
    change(disc)
    report = check(disc)
    for note in notes:
        assert note in report.stdout, report.stdout


def flip_a_byte_of(image, content):
    data = bytearray(image.read_bytes())
    at = data.find(content)
    assert at > 0
    data[at + 1] ^= 0xFF
    image.write_bytes(bytes(data))


@needs_xorriso
@pytest.mark.parametrize("change, differences", [
    (None, []),
    (lambda d, i: (d / "Data" / "scan.dcm").write_bytes(b"y" * 5000), ["Data\\scan.dcm: contents differ"]),
    (lambda d, i: touch(d / "Data" / "late.dcm"), ["Data\\late.dcm: in the folder, not in the image"]),
    (lambda d, i: (d / "ImplantDB" / "index.db").unlink(), ["ImplantDB\\index.db: in the image, not in the folder"]),
    (lambda d, i: os.utime(d / "Tovi2009.exe", ns=(0, 0)), ["Tovi2009.exe: modification times differ"]),
    (lambda d, i: flip_a_byte_of(i, b"x" * 5000), ["MD5:      1 file(s) damaged", "    Data\\scan.dcm"]),
], ids=["same", "content", "added", "removed", "time", "damaged-image"])
def test_verify_compares_the_image_with_its_folder(sources, tmp_path, change, differences):
    disc, image = tmp_path / "disc", tmp_path / "disc.iso"
    assert make_disc(sources, disc).returncode == 0
    assert run("iso", disc, image).returncode == 0
    if change:
        change(disc, image)
    result = run("verify", image, disc)
    assert result.returncode == (1 if differences else 0), result.stdout + result.stderr
    for difference in differences:
        assert difference in result.stdout, result.stdout
    if differences:
        assert result.stdout.endswith("result:   the disc DIFFERS from the folder\n")
    else:
        assert "MD5:      every file's data matches" in result.stdout
        assert result.stdout.endswith("result:   the disc matches the folder\n")
