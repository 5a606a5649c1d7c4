"""Runs the real autorun.exe under Wine on disc folders built per test, and reads back what it did.

The Wine world (prefix, display, warm wineserver) comes from scripts/lib/wine-env.sh through the
environment; every test gets a fresh disc folder, a clean viewer installation and registry, and a
debug-output listener.
"""
import os
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
# The shipped 32-bit launcher, or its 64-bit twin in a 64-bit prefix where this machine runs no 32-bit programs
# (scripts/lib/wine-env.sh decides and says which).
BUILD_NAME = os.environ.get("AUTORUN_WINE_BUILD", "win32")
TWIN = BUILD_NAME == "win64"
BUILD = ROOT / "build" / BUILD_NAME
# AUTORUN_UNDER_TEST: another build of the launcher (an older one, to see a test fail on it).
AUTORUN = Path(os.environ.get("AUTORUN_UNDER_TEST") or BUILD / "autorun.exe")
TOOLS = BUILD / "tools"
# AUTORUN_TIME_SCALE: how many times longer the harness waits, for a machine that runs programs that many times slower
# (scripts/vm32's emulated one). A wait for what must not happen grows too, so a program that would do it still has
# the time to.
TIME_SCALE = float(os.environ.get("AUTORUN_TIME_SCALE") or 1)

# The viewer's installer is a 32-bit program: in a 64-bit prefix, as on 64-bit Windows, its keys are in the 32-bit
# view. They are written there, so a launcher that read another view would find no installation.
SOFTWARE_KEY = r"HKEY_LOCAL_MACHINE\SOFTWARE" + (r"\Wow6432Node" if TWIN else "")
VENDOR_KEY = SOFTWARE_KEY + r"\Kalmo Technology Co.,LTD"
PATH_KEY = VENDOR_KEY + r"\Tovi2009\Path"
VERSION_KEY = VENDOR_KEY + r"\Tovi2009\Version"


def prefix(env=None) -> Path:
    return Path((env or os.environ)["WINEPREFIX"])


def drive_c(env=None) -> Path:
    return prefix(env) / "drive_c"


def winpath(path) -> str:
    """The Wine path of a Unix path: drive_c maps to C:, everything else through Z:."""
    p = Path(path).resolve()
    try:
        return "C:\\" + str(p.relative_to(drive_c().resolve())).replace("/", "\\")
    except ValueError:
        return "Z:" + str(p).replace("/", "\\")


def unixpath(win: str) -> Path:
    if win[:2].upper() == "C:":
        return drive_c() / win[3:].replace("\\", "/")
    if win[:2].upper() == "Z:":
        return Path(win[2:].replace("\\", "/"))
    raise ValueError(win)


# --- Wine's own failures to start a program ---------------------------------------------------------------
# Now and then, on a busy machine, Wine fails a start before the program runs: its loader or server connection gives
# up with a message of its own ("wine: ...", "wine client error ..."), or its Unix process dies of a signal. Nothing
# of the program has run then, so such a start is made again, at most this many times, and every one is named in the
# session's summary (conftest.py): a reader of CI's log sees each. A program that ran and failed is never started
# again: the launcher's debug lines and Wine's words for a program's own crash ("Unhandled exception", "Unhandled
# page fault") tell it apart.
WINE_START_RETRIES = 2
WINE_START_FAILURES = []  # (test, what was started, why)
# Signals of a crash in Wine's own Unix code (a program's own faults are Windows exceptions, not signals).
_CRASH_SIGNALS = {-6: "SIGABRT", -7: "SIGBUS", -11: "SIGSEGV"}


def wine_start_failure(returncode: int, said: str) -> str:
    """Why Wine failed to start a program before it ran, from its exit status and what Wine wrote, or "" when it did
    not (the program ran, whatever its exit code)."""
    if returncode in _CRASH_SIGNALS:
        return f"Wine's process ended by {_CRASH_SIGNALS[returncode]}"
    if returncode == 0:
        return ""
    for line in said.splitlines():
        line = line.strip()
        if (line.startswith("wine:") or line.startswith("wine client error")) and "Unhandled" not in line:
            return line
    return ""


def note_wine_start_failure(what: str, why: str):
    test = os.environ.get("PYTEST_CURRENT_TEST", "").rsplit(" (", 1)[0]
    WINE_START_FAILURES.append((test, what, why))


def wine_program(name: str, env=None) -> str:
    """The full Windows path of one of Wine's own programs (reg, regedit, taskkill, winecfg, cmd). Given a bare name,
    Wine starts start.exe, which looks the name up with ShellExecuteEx and starts the program as a second process; on
    a busy machine that lookup now and then fails ("ShellExecuteEx failed: Internal error") before the program runs.
    Given the path, Wine loads the program itself."""
    if "\\" in name or "/" in name:
        return name
    for folder in ("system32", ""):
        path = drive_c(env) / "windows" / folder / f"{name}.exe"
        if path.is_file():
            return "C:\\windows\\" + (folder + "\\" if folder else "") + f"{name}.exe"
    return name


def wine(program, *args, timeout=60, check=True, **kw):
    """A short Wine command whose output we want (never used for the launcher itself). The output goes
    through a file: Wine's background processes that the command may start inherit its handles, and on a
    pipe they would keep us waiting until they exit."""
    command = ["wine", wine_program(program, kw.get("env")), *args]
    for attempt in range(1 + WINE_START_RETRIES):
        with tempfile.TemporaryFile() as out:
            done = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                  timeout=timeout * TIME_SCALE, **kw)
            out.seek(0)
            done.stdout = out.read()
        why = wine_start_failure(done.returncode, done.stdout.decode("utf-8", "replace"))
        if not why or attempt == WINE_START_RETRIES:
            break
        note_wine_start_failure(f"wine {program}", why)
    if check:
        done.check_returncode()
    return done


# --- the scrambled form, written independently of the product ---------------------------------------

def _msrand(seed):
    state = seed & 0xFFFFFFFF
    while True:
        state = (state * 214013 + 2531011) & 0xFFFFFFFF
        yield (state >> 16) & 0x7FFF


def scramble(plain: bytes, seed: int = 7142) -> bytes:
    rng = _msrand(seed)
    out = bytearray()
    for pos in range(0, len(plain), 4):
        group = plain[pos:pos + 4]
        n = len(group)
        width = 8 * n
        mask = (1 << width) - 1
        right = next(rng) % 2 == 1
        amount = next(rng) % width
        key = 0
        for _ in range(n):
            key = (key << 8) | (next(rng) % 256)
        w = int.from_bytes(group, "little") ^ key
        # The launcher rotates right when `right`; undo it by rotating the other way.
        if amount:
            w = ((w << amount) | (w >> (width - amount))) & mask if right else \
                ((w >> amount) | (w << (width - amount))) & mask
        out += w.to_bytes(n, "little")
    return bytes(out)


def suid_text(mode="DiscStudio", sid="A1", version=(1, 0, 0, 0), plain=True, mark="091118") -> bytes:
    lines = []
    if plain and mark is not None:
        lines += ["[Program Up]", f"UP_A={mark}"]
    lines += ["[Program Version]", f"HIMS={version[0]}", f"LOWMS={version[1]}", f"HILS={version[2]}",
              f"LOWLS={version[3]}", "[Execute Mode]", f"Mode={mode}", "[SUID]", f"ID={sid}", ""]
    text = "\r\n".join(lines).encode("cp949")
    return text if plain else scramble(text)


# --- the machine: registry and installed viewer --------------------------------------------------------

def reg_import(text: str, tmp: Path, env=None):
    """Imports registry text; a Unicode .reg file carries any name whatever Wine's code page."""
    reg = tmp / "setup.reg"
    reg.write_bytes(("\ufeffWindows Registry Editor Version 5.00\r\n\r\n" + text).encode("utf-16-le"))
    wine("regedit", "/S", winpath(reg), env=env)


def reg_escape(s: str) -> str:
    return s.replace("\\", "\\\\").replace('"', '\\"')


class Machine:
    """The computer the disc is put into: the installed viewer's registry entries and folders. `env`: the
    environment of another Wine world (SecondWorld), else the test's own."""

    def __init__(self, tmp: Path, env=None):
        self.tmp = tmp
        self.env = env
        self.reset()

    def reset(self):
        reg_import(f"[-{VENDOR_KEY}]\r\n", self.tmp, self.env)
        for name in ("Tovi2009", "Viewer Folder", "SUID.temp", "Program Files/토비 뷰어"):
            p = drive_c(self.env) / name
            if p.is_dir():
                shutil.rmtree(p)
            elif p.exists():
                p.unlink()

    def install(self, folder="C:\\Tovi2009", version=(1, 0, 0, 0), path_key=True, target_dir=None,
                version_key=True, exe=True, patient=True, implantdb=True, raw_values=""):
        """Installs a stub viewer into `folder` and writes the registry as its installer would."""
        root = unixpath(folder)
        root.mkdir(parents=True, exist_ok=True)
        if exe:
            shutil.copy(TOOLS / "stub.exe", root / "Tovi2009.exe")
        if patient:
            (root / "Patient").mkdir(exist_ok=True)
        if implantdb:
            (root / "ImplantDB").mkdir(exist_ok=True)
        text = ""
        if path_key:
            text += f"[{PATH_KEY}]\r\n"
            value = folder if target_dir is None else target_dir
            if value is not False:
                text += f'"TargetDir"="{reg_escape(value)}"\r\n'
            text += raw_values
            text += "\r\n"
        if version_key:
            text += f"[{VERSION_KEY}]\r\n"
            for name, part in zip(("HIMS", "LOWMS", "HILS", "LOWLS"), version):
                if part is not None:
                    text += f'"{name}"=dword:{part & 0xFFFFFFFF:08x}\r\n'
            text += "\r\n"
        if text:
            reg_import(text, self.tmp, self.env)
        return root


# --- the disc -------------------------------------------------------------------------------------------

class Disc:
    def __init__(self, root: Path, existing=False):
        """A new disc folder with the launcher in it, or (`existing`) one already assembled."""
        self.root = root
        if not existing:
            root.mkdir(parents=True, exist_ok=True)
            shutil.copy(AUTORUN, root / "autorun.exe")

    @property
    def exe(self) -> Path:
        return self.root / "autorun.exe"

    def suid(self, data: bytes):
        (self.root / "SUID.ini").write_bytes(data)
        return self

    def viewer(self):
        shutil.copy(TOOLS / "stub.exe", self.root / "Tovi2009.exe")
        return self

    def setup(self):
        (self.root / "Setup").mkdir(exist_ok=True)
        shutil.copy(TOOLS / "stub.exe", self.root / "Setup" / "Setup.exe")
        return self

    def data(self, files: dict, folder="Data"):
        """files: relative name -> bytes (or None for a folder)."""
        write_tree(self.root / folder, files)
        return self


def write_tree(base: Path, files: dict):
    """Writes files (relative name -> bytes, or None for a folder) below base."""
    base.mkdir(parents=True, exist_ok=True)
    for name, content in files.items():
        p = base / name
        if content is None:
            p.mkdir(parents=True, exist_ok=True)
        else:
            p.parent.mkdir(parents=True, exist_ok=True)
            p.write_bytes(content)


def started_command_lines(exe: Path, wait=5.0, count=1):
    """The command lines a stub program was started with (it logs them beside itself)."""
    log = Path(str(exe) + ".log")
    deadline = time.time() + wait * TIME_SCALE
    while time.time() < deadline:
        if log.exists():
            lines = log.read_bytes().decode("cp949", "replace").splitlines()
            if len(lines) >= count:
                return lines
        time.sleep(0.05)
    return log.read_bytes().decode("cp949", "replace").splitlines() if log.exists() else []


def arguments_of(command_line: str) -> str:
    """The parameters part of a command line that starts with a quoted program path."""
    if command_line.startswith('"'):
        end = command_line.index('"', 1)
        return command_line[end + 1:].lstrip(" ")
    parts = command_line.split(" ", 1)
    return parts[1] if len(parts) > 1 else ""


# --- the warning of files not copied ------------------------------------------------------------------

WARNING_CAPTION = "Patient disc"


def stop_tool(proc, stop_file: Path, timeout=10):
    """Asks a tool that watches for its stop file to end, and ends it if it does not."""
    stop_file.write_bytes(b"")
    try:
        proc.wait(timeout=timeout * TIME_SCALE)
    except subprocess.TimeoutExpired:
        proc.kill()


class WarningWatcher:
    """Answers every warning box of the launcher with OK, as the person at the PC would, and keeps its text: a run
    that lost files shows one before the viewer opens, and a test that does not expect one fails on it."""

    def __init__(self, tmp: Path):
        self.out = tmp / "warnings.txt"
        self.stop_file = tmp / "warnings.stop"
        self.proc = subprocess.Popen(["wine", str(TOOLS / "clicker.exe"), "--watch", WARNING_CAPTION,
                                      winpath(self.out), winpath(self.stop_file)],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def texts(self):
        """The text of each box answered so far (its button labels left out)."""
        if not self.out.exists():
            return []
        lines = self.out.read_bytes().decode("cp949", "replace").split("\n")
        boxes, text = [], []
        for line in lines:
            if line in ("OK", "&OK"):
                boxes.append("\n".join(text))
                text = []
            elif line or text:
                text.append(line)
        return boxes

    def stop(self):
        stop_tool(self.proc, self.stop_file)


# --- debug output ---------------------------------------------------------------------------------------

class DebugListener:
    def __init__(self, tmp: Path, env=None, name="dbwin"):
        self.out = tmp / f"{name}.out"
        self.stop_file = tmp / f"{name}.stop"
        ready = Path(str(self.out) + ".ready")
        err = tmp / f"{name}.stderr"
        # The first program of a fresh prefix on a busy machine may wait for Wine's services for many seconds: the
        # listener is waited for, not timed.
        for attempt in range(1 + WINE_START_RETRIES):
            with open(err, "wb") as err_file:
                self.proc = subprocess.Popen(["wine", str(TOOLS / "dbwin.exe"), winpath(self.out),
                                              winpath(self.stop_file)], stdin=subprocess.DEVNULL,
                                             stdout=subprocess.DEVNULL, stderr=err_file, env=env)
            deadline = time.time() + 120 * TIME_SCALE
            while not ready.exists() and self.proc.poll() is None and time.time() < deadline:
                time.sleep(0.02)
            if ready.exists():
                return
            if self.proc.poll() is None:
                self.proc.kill()
                self.proc.wait()
            said = err.read_text(errors="replace")
            why = wine_start_failure(self.proc.returncode, said)
            if not why or attempt == WINE_START_RETRIES:
                raise RuntimeError("debug listener did not start: " + (said.strip()[-500:] or "no word from Wine"))
            note_wine_start_failure("dbwin.exe", why)

    def stop(self):
        stop_tool(self.proc, self.stop_file)

    def messages(self):
        """(pid, bytes) for every debug string so far."""
        if not self.out.exists():
            return []
        data = self.out.read_bytes()
        result, pos = [], 0
        while pos < len(data):
            # A test that reads while the launcher runs may meet the last message half written: it is left for the
            # next read.
            sp1 = data.find(b" ", pos)
            sp2 = data.find(b" ", sp1 + 1) if sp1 >= 0 else -1
            if sp2 < 0:
                break
            pid, length = int(data[pos:sp1]), int(data[sp1 + 1:sp2])
            start = sp2 + 1
            if start + length > len(data):
                break
            result.append((pid, data[start:start + length]))
            pos = start + length + 1
        return result

    def lines(self, encoding="cp949"):
        return [m.decode(encoding, "replace") for _, m in self.messages()]

    def copy_results(self, encoding="cp949"):
        """Target path -> "Success" or "Failed", from the launcher's copy lines."""
        out = {}
        for line in self.lines(encoding):
            if line.startswith("Copy File : "):
                target, _, result = line[len("Copy File : "):].rstrip("\n").partition(" => ")[2].rpartition(" : ")
                out[target] = result
        return out


class SecondWorld:
    """A second Wine world beside the test's: its own prefix and wineserver, so its own process ids and handles, as a
    second computer of a network sees a share. `env` is its environment for every wine command and for Run. Its C:
    drive is its own; a folder both worlds use is reached through Z:."""

    def __init__(self, tmp: Path):
        self.env = dict(os.environ, WINEPREFIX=str(tmp / "second-prefix"))
        prefix(self.env).mkdir()
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=self.env)
        subprocess.run(["wineserver", "-p"], **quiet, timeout=60)
        subprocess.run(["wineboot", "-i"], **quiet, timeout=300, check=True)
        # As the test's own world: windows that close at once, no theme.
        wine("reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/t", "REG_SZ", "/d", "N", "/f",
             env=self.env)
        wine("reg", "add", r"HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager", "/v", "ThemeActive",
             "/t", "REG_SZ", "/d", "0", "/f", env=self.env)

    def stop(self):
        wine("taskkill", "/f", "/im", "autorun.exe", check=False, env=self.env)
        socket = prefix(self.env) / "wineserver"
        socket_dir = socket.read_text().strip() if socket.exists() else ""
        subprocess.run(["wineserver", "-k"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, env=self.env, timeout=60)
        if socket_dir:
            shutil.rmtree(Path("/tmp") / socket_dir, ignore_errors=True)
        shutil.rmtree(prefix(self.env), ignore_errors=True)


# --- the launcher ---------------------------------------------------------------------------------------

class Run:
    """One start of autorun.exe; stdout goes to a file (Wine's background processes hold pipes)."""

    def __init__(self, exe: Path, tmp: Path, args=(), env=None, start_max=False, wrapper=False, debug=None):
        """`env` changes variables (None unsets one); with `wrapper` the change is made by a Windows parent,
        for the variables Wine sets itself at every start (USERPROFILE). `debug`: the test's DebugListener, whose
        lines tell a launcher that ran from a start that Wine failed."""
        self._tmp = tmp
        self._debug = debug
        self._starts = 0
        cmd = ["wine"]
        full_env = dict(os.environ)
        if wrapper:
            cmd += [str(TOOLS / "envrun.exe")]
            cmd += [f"-{k}" if v is None else f"{k}={v}" for k, v in (env or {}).items()]
            cmd += ["--"]
        elif env:
            for k, v in env.items():
                if v is None:
                    full_env.pop(k, None)
                else:
                    full_env[k] = v
        if start_max:
            cmd += ["start", "/wait", "/max"]
        cmd += [winpath(exe), *args]
        self._cmd, self._env = cmd, full_env
        self._start()

    def _start(self):
        self._starts += 1
        self._debug_before = len(self._debug.messages()) if self._debug else 0
        self.stdout_path = self._tmp / f"stdout-{time.monotonic_ns()}.txt"
        self.stderr_path = self._tmp / f"stderr-{time.monotonic_ns()}.txt"
        self._out = open(self.stdout_path, "wb")
        # What Wine itself says (the launcher writes nothing there): read when a test fails.
        self._err = open(self.stderr_path, "wb")
        self.proc = subprocess.Popen(self._cmd, stdin=subprocess.DEVNULL, stdout=self._out, stderr=self._err,
                                     env=self._env, cwd=str(self._tmp))

    def _failed_to_start(self) -> str:
        """Why Wine failed this start before the launcher ran, or ""."""
        if self._debug and len(self._debug.messages()) > self._debug_before:
            return ""
        return wine_start_failure(self.proc.returncode, self.stderr_path.read_text(errors="replace"))

    def wait(self, timeout=30):
        deadline = time.monotonic() + timeout
        while True:
            try:
                rc = self.proc.wait(timeout=max(0.0, deadline - time.monotonic()))
            finally:
                if self.proc.poll() is not None:
                    self._close()
            why = self._failed_to_start()
            if not why or self._starts > WINE_START_RETRIES:
                return rc
            note_wine_start_failure(" ".join(self._cmd[1:]), why)
            self._start()

    def _close(self):
        self._out.close()
        self._err.close()

    def running(self):
        return self.proc.poll() is None

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self._close()

    @property
    def stdout(self) -> str:
        return self.stdout_path.read_bytes().decode("cp949", "replace").replace("\r\n", "\n")


def answer_prompt(answer: str, tmp: Path, timeout_ms=15000):
    """Waits for the launcher's Yes/No box, answers it, and returns (text, buttons) or None."""
    out = tmp / f"prompt-{time.monotonic_ns()}.txt"
    timeout_ms = int(timeout_ms * TIME_SCALE)
    rc = subprocess.run(["wine", str(TOOLS / "clicker.exe"), "Launcher", answer, str(timeout_ms), winpath(out)],
                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                        timeout=timeout_ms / 1000 + 30).returncode
    if rc != 0 or not out.exists():
        return None
    # The text may hold line feeds itself; the button labels are the last line.
    text, _, buttons = out.read_bytes().decode("cp949", "replace").rstrip("\n").rpartition("\n")
    return text, buttons.strip()


def visible_windows(exe_name: str, tmp: Path, controls=False):
    out = tmp / f"windows-{time.monotonic_ns()}.txt"
    args = ["wine", str(TOOLS / "wininfo.exe"), exe_name, winpath(out)]
    if controls:
        args.append("--controls")
    subprocess.run(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=60)
    return out.read_text(encoding="cp949", errors="replace").splitlines() if out.exists() else []


def wait_for_progress_window(tmp: Path, timeout=60):
    """Waits until autorun.exe shows its progress dialog; returns the window list (with controls) or []."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        windows = visible_windows("autorun.exe", tmp, controls=True)
        if any(w.split(" ")[1:3] == ["1", "#32770"] for w in windows if not w.startswith("  ")):
            return windows
    return []
