import os
import shutil
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402


def pytest_configure(config):
    if "WINEPREFIX" not in os.environ or "DISPLAY" not in os.environ:
        raise pytest.UsageError("run the scenario tests through scripts/test (it sets up Wine and a display)")


class World:
    """One test's disc, machine and debug listener."""

    def __init__(self, tmp: Path):
        self.tmp = tmp
        self.machine = harness.Machine(tmp)
        self.disc = harness.Disc(tmp / "disc")
        self.debug = harness.DebugListener(tmp)
        self.warnings = harness.WarningWatcher(tmp)
        self.warning_expected = False
        self.runs = []

    def run(self, *args, timeout=30, **kw):
        run = self.start(*args, **kw)
        rc = run.wait(timeout)
        return run, rc

    def start(self, *args, **kw):
        run = harness.Run(self.disc.exe, self.tmp, args=args, debug=self.debug, **kw)
        self.runs.append(run)
        return run

    def debug_lines(self):
        return self.debug.lines()

    def expect_warning(self):
        """This test makes files fail on purpose: the box that tells so is answered and may be checked."""
        self.warning_expected = True


def pytest_terminal_summary(terminalreporter):
    """Every start that Wine failed before the program ran, and that was made again (harness.wine_start_failure)."""
    if harness.WINE_START_FAILURES:
        terminalreporter.section("Wine failed to start a program; each was started again")
        for test, what, why in harness.WINE_START_FAILURES:
            terminalreporter.line(f"WINE START FAILED in {test or 'the session'}: {what}: {why}")


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    if call.when == "call":
        item.call_failed = outcome.get_result().failed


def tell_what_was_left(w: World):
    """For a failed test: the launcher's windows still open and its last debug lines, which tell a hang from a
    slow copy in CI's log."""
    try:
        print("windows of autorun.exe still open:", harness.visible_windows("autorun.exe", w.tmp) or "none")
        for run in w.runs:
            code = run.proc.poll()
            print(f"launcher start ({' '.join(run.proc.args[1:])[-80:]}):",
                  "still running" if code is None else f"ended with {code}")
        print("debug listener:", "running" if w.debug.proc.poll() is None else f"ended with {w.debug.proc.poll()}")
        for err in sorted(w.tmp.glob("stderr-*.txt")):
            said = err.read_text(errors="replace").strip()
            if said:
                print(f"Wine said ({err.name}):\n  " + "\n  ".join(said.splitlines()[-15:]))
        lines = w.debug.lines()
        print(f"last debug lines ({len(lines)} in all):")
        for line in lines[-25:]:
            print("  " + line.rstrip())
    except Exception as e:  # noqa: BLE001 - what it tells is a help, never a second failure
        print("could not tell what was left:", e)


@pytest.fixture
def world(tmp_path, request):
    # Wine paths in debug lines and command lines are easier to read without pytest's long names.
    w = World(tmp_path)
    try:
        yield w
    finally:
        if getattr(request.node, "call_failed", False):
            tell_what_was_left(w)
        # A launcher that a failed test left waiting (at a prompt, say) would answer the next test's clicker.
        harness.wine("taskkill", "/f", "/im", "autorun.exe", check=False)
        w.debug.stop()
        w.warnings.stop()
        unexpected = [] if w.warning_expected else w.warnings.texts()
        w.machine.reset()
        shutil.rmtree(tmp_path, ignore_errors=True)
        if unexpected:
            pytest.fail("the launcher warned of files not copied: " + " | ".join(unexpected))
