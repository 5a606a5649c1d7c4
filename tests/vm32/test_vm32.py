"""scripts/vm32 as a caller sees it: what the command wrote and its exit status come back as if it ran here, in the
folder it was started in; and it refuses at once, saying why, when it cannot run the command."""
import os
import subprocess
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
VM32 = ROOT / "scripts" / "vm32"


def vm32(*args, cwd, env=None):
    return subprocess.run([str(VM32), *args], cwd=cwd, env=dict(os.environ, **(env or {})), stdin=subprocess.DEVNULL,
                          capture_output=True, text=True, timeout=600)


def test_output_exit_status_and_files_come_back(tmp_path):
    # A file of this host outside the folder and outside /tmp (the machine has a /tmp of its own, and a clone of the
    # project may lie in the host's): the machine reads it, and what it writes there is thrown away.
    outside = Path("/var/tmp") / f"vm32-test-{os.getpid()}.txt"
    outside.write_text("host\n")
    script = ('echo "out $(pwd)"; printf "[%s]" "$@"; echo; cat "$0"; echo changed >"$0"; echo err >&2; '
              'echo kept >written.txt; exit 3')
    done = vm32("sh", "-c", script, str(outside), "two words", "it's", "", cwd=tmp_path)
    assert done.returncode == 3, done.stderr
    # The arguments arrive as given, in the folder the caller was in, which is also where its file is found again.
    assert done.stdout == f"out {tmp_path}\n[two words][it's][]\nhost\n"
    assert outside.read_text() == "host\n"
    outside.unlink()
    # vm32's own lines come first: on the first use, what it prepares; then the one that says where the command runs.
    lines = done.stderr.splitlines()
    own = [line for line in lines if line.startswith("vm32: ")]
    assert own and own[-1].startswith("vm32: running sh in an emulated machine"), done.stderr
    assert lines[len(own):] == ["err"], done.stderr
    assert (tmp_path / "written.txt").read_text() == "kept\n"


def test_refuses_at_once_without_the_memory_it_needs(tmp_path):
    done = vm32("true", cwd=tmp_path, env={"VM32_MEMORY": str(1 << 30)})
    assert done.returncode == 125
    assert done.stdout == ""
    assert done.stderr.startswith("vm32: the emulated machine needs about ") and "MB are free" in done.stderr
