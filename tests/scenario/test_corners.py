"""Corners of a transfer seen from outside the real launcher: the messages its worker really sends, what the window
shows when the worker is done, the order of the hand-off, the slideshow under the mouse, prompts answered No, an
installation without its reference folder, and a configuration file that cannot be read to its end.

Two instruments besides the usual ones. A FUSE folder (faultyfs) serves files whose reads wait until the test lets
them go, which holds the worker, or the window's own thread in the reference copy, at a chosen point; or fail
part-way, as on a scratched disc. Wine's relay trace (WINEDEBUG=+relay) logs every call of the launcher's window
procedures with the message's parameters, and the calls of the functions named in RelayInclude with theirs, in the
order they happen.
"""
import os
import re
import subprocess
import time

import pytest

import harness
from faultyfs import FaultyFolder, Served
from harness import suid_text

V = (1, 2, 3, 4)
WM_COPY_PROGRESS = "WM_USER+1"
WM_COPY_FINISHED = "WM_USER+2"
WM_LAUNCH_VIEWER = "WM_USER+3"
RELAY_FUNCTIONS = "shell32.ShellExecuteA"
CALL = re.compile(r"^([0-9a-f]{4}):Call window proc [0-9A-F]+ \(hwnd=([0-9A-F]+),msg=([^,]+),wp=([0-9a-f]+),"
                  r"lp=([0-9a-f]+)\)")
RET = re.compile(r"^([0-9a-f]{4}):Ret  window proc [0-9A-F]+ \(hwnd=([0-9A-F]+),msg=([^,]+),wp=([0-9a-f]+),"
                 r"lp=([0-9a-f]+)\)")
SHELL_EXECUTE = re.compile(r"^[0-9a-f]{4}:Call shell32\.ShellExecuteA\([0-9a-f]+,[0-9a-f]+ \"open\",[0-9a-f]+ "
                           r"\"([^\"]*)\"")


# --- the relay trace ------------------------------------------------------------------------------------------

@pytest.fixture
def relay():
    """Wine's relay trace of window procedures, and of the calls named in RelayInclude (the rest stay out)."""
    key = r"HKCU\Software\Wine\Debug"
    harness.wine("reg", "add", key, "/v", "RelayInclude", "/t", "REG_SZ", "/d", RELAY_FUNCTIONS, "/f")
    yield
    harness.wine("reg", "delete", key, "/v", "RelayInclude", "/f", check=False)


class TracedRun:
    """A start of the launcher with the relay trace on; the trace goes to a file."""

    def __init__(self, world):
        self.trace = world.tmp / f"relay-{time.monotonic_ns()}.txt"
        self._err = open(self.trace, "wb")
        env = dict(os.environ, WINEDEBUG="+relay")
        self.proc = subprocess.Popen(["wine", harness.winpath(world.disc.exe)], stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=self._err, env=env, cwd=str(world.tmp))

    def wait(self, timeout=60):
        try:
            return self.proc.wait(timeout=timeout)
        finally:
            self.kill()

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self._err.close()

    def events(self):
        """(kind, hwnd, message, wParam, lParam) in order, for each message that reached a window procedure of the
        launcher (a procedure passing it on to the next one is not counted twice), and ("start", program) for each
        ShellExecuteA."""
        events, open_calls = [], {}
        for line in self.trace.read_bytes().decode("latin-1").splitlines():
            call, ret, start = CALL.match(line), RET.match(line), SHELL_EXECUTE.match(line)
            if call:
                thread, key = call.group(1), call.groups()[1:]
                stack = open_calls.setdefault(thread, [])
                if key not in stack:
                    events.append(("message", key[0], key[1], int(key[2], 16), int(key[3], 16)))
                stack.append(key)
            elif ret:
                stack = open_calls.get(ret.group(1), [])
                if ret.groups()[1:] in stack:
                    stack.remove(ret.groups()[1:])
            elif start:
                events.append(("start", start.group(1).replace("\\\\", "\\")))
        return events


def dialog_of(events):
    """The progress window: the one window that got WM_INITDIALOG."""
    dialogs = {e[1] for e in events if e[0] == "message" and e[2] == "WM_INITDIALOG"}
    assert len(dialogs) == 1, dialogs
    return dialogs.pop()


# --- what the screen shows ------------------------------------------------------------------------------------

def shown(world):
    """The launcher's visible dialog: (client rectangle, {control id: (text, rectangle)}), screen coordinates; read
    without a message, so it answers while the window's thread is busy."""
    out = world.tmp / f"shown-{time.monotonic_ns()}.txt"
    subprocess.run(["wine", str(harness.TOOLS / "shown.exe"), "autorun.exe", harness.winpath(out)],
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    lines = out.read_text(encoding="cp949", errors="replace").splitlines() if out.exists() else []
    if not lines:
        return None, {}
    client = tuple(int(v) for v in lines[0].split()[1:5])
    controls = {}
    for line in lines[1:]:
        m = re.match(r'^  (-?\d+) "(.*)" (-?\d+) (-?\d+) (-?\d+) (-?\d+)$', line)
        if m:
            controls[int(m.group(1))] = (m.group(2), tuple(int(v) for v in m.groups()[2:]))
    return client, controls


def screen(world):
    """The whole screen as a Pillow image."""
    from PIL import Image
    shot = world.tmp / f"screen-{time.monotonic_ns()}.png"
    subprocess.run(["/usr/bin/import", "-window", "root", str(shot)], stdin=subprocess.DEVNULL, capture_output=True,
                   timeout=30, check=True)
    with Image.open(shot) as img:
        return img.convert("RGB")


def bar_ends(world, bar):
    """Colours at the left and the right end of the progress bar (screen rectangle), inside its border."""
    left, top, right, bottom = bar
    img = screen(world)
    y = (top + bottom) // 2
    return img.getpixel((left + 3, y)), img.getpixel((right - 4, y))


def release_and_kill(run, *folders):
    """A process cannot end while one of its threads waits in a held read: the reads go first."""
    for folder in folders:
        for served in folder.files.values():
            served.release()
    run.kill()


def wait_for(event, what, timeout=60):
    assert event.wait(timeout), f"timed out waiting for {what}"


# --- the end of a transfer --------------------------------------------------------------------------------------

COUNT = 5
LAST = "z.dcm"


def held_transfer_disc(world):
    """A disc whose last patient file and reference file wait for the test: Data and ImplantDB are FUSE folders."""
    world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V))
    # Wine lists a folder sorted by name: LAST comes last.
    data = {"Default.npj": Served(b"project")}
    data.update({f"s{i}.dcm": Served(b"%d" % i * 100) for i in range(COUNT - 2)})
    data[LAST] = Served(b"last", hold=True)
    reference = {"index.db": Served(b"reference", hold=True)}
    return FaultyFolder(world.disc.root / "Data", data), FaultyFolder(world.disc.root / "ImplantDB", reference)


def test_real_progress_messages_and_the_window_before_and_at_the_hand_off(world, relay):
    root = world.machine.install(version=V)
    data_folder, reference_folder = held_transfer_disc(world)
    with data_folder as data, reference_folder as reference:
        run = TracedRun(world)
        try:
            # The worker waits in the last patient file: the others are counted, the bar stands part-way.
            wait_for(data.files[LAST].reached, "the worker to read the last patient file")
            time.sleep(0.5)  # the window paints what it holds within its paint interval
            client, controls = shown(world)
            assert controls[1003][0] == f"{COUNT - 1} / {COUNT}", controls
            assert controls[1002][0] == "Copying file CD Data to Working folder...", controls
            filled, empty = bar_ends(world, controls[1000][1])
            assert filled != empty, "a bar at 4 of 5 shows its filled and its empty part"
            data.files[LAST].release()
            # The reference copy waits in its one file: the window tells that the reference database is being
            # copied, none of its one file done yet, painted.
            wait_for(reference.files["index.db"].reached, "the reference copy")
            time.sleep(0.3)
            client, controls = shown(world)
            assert controls[1003][0] == "0 / 1", controls
            assert controls[1002][0] == "Copying the reference database...", controls
            assert bar_ends(world, controls[1000][1]) == (empty, empty), "the bar starts again for the reference"
            reference.files["index.db"].release()
            assert run.wait(60) == 0
        finally:
            release_and_kill(run, data, reference)
    events = run.events()
    dialog = dialog_of(events)
    progress = [(e[3], e[4]) for e in events if e[0] == "message" and e[1] == dialog and e[2] == WM_COPY_PROGRESS]
    assert progress == [(i, COUNT) for i in range(COUNT)]
    # The hand-off: reference copy, then the window is destroyed, then the viewer starts, then the launcher closes.
    frame = {e[1] for e in events if e[0] == "message" and e[2] == WM_LAUNCH_VIEWER}
    order = [e for e in events if e[0] == "start" or (e[0] == "message" and (
        (e[1] in frame and e[2] in (WM_COPY_FINISHED, WM_LAUNCH_VIEWER)) or (e[1] == dialog and e[2] == "WM_DESTROY")))]
    assert [e[2] if e[0] == "message" else "start" for e in order] == [
        WM_COPY_FINISHED, WM_LAUNCH_VIEWER, "WM_DESTROY", "start"], order
    assert order[-1][1] == "C:\\Tovi2009\\Tovi2009.exe"
    assert (root / "ImplantDB" / "index.db").read_bytes() == b"reference"
    assert len(harness.started_command_lines(root / "Tovi2009.exe")) == 1


def test_launcher_closes_when_the_installed_viewer_cannot_be_started(world):
    root = world.machine.install(version=V)
    (root / "Tovi2009.exe").write_bytes(b"not a program")
    world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V)).data({"Default.npj": b"p"})
    run, rc = world.run(timeout=30)
    assert rc == 0
    assert (root / "Patient" / "A1" / "Default.npj").read_bytes() == b"p"
    assert harness.visible_windows("autorun.exe", world.tmp) == []


# --- the slideshow under the mouse ----------------------------------------------------------------------------

HIGHLIGHT = (217, 72, 0)
MARKER_CENTRES = [(67 + 38 * i, 270) for i in range(7)]
INTERVAL = 3.0


def after(slide):
    """The picture the timer shows next: the feature pictures in turn, never the title picture again."""
    return slide % 7 + 1


class Slides:
    """The progress window's picture, told by its lit marker (0: the title picture), and clicks on it."""

    def __init__(self, world, origin):
        self.world, self.origin = world, origin

    def shown(self):
        img = screen(self.world)
        ox, oy = self.origin
        lit = [i + 1 for i, (x, y) in enumerate(MARKER_CENTRES) if img.getpixel((ox + x, oy + y)) == HIGHLIGHT]
        assert len(lit) <= 1, lit
        return lit[0] if lit else 0

    def next_change(self, slide, timeout=INTERVAL + 3):
        """(the slide that follows `slide`, when it appeared)."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            now = self.shown()
            if now != slide:
                return now, time.monotonic()
        raise AssertionError(f"slide {slide} still shown after {timeout} s")

    def click(self, x, y):
        subprocess.run(["xdotool", "mousemove", "--sync", str(self.origin[0] + x), str(self.origin[1] + y), "click",
                        "1"], check=True, capture_output=True, timeout=30)
        return time.monotonic()


def test_clicks_on_the_slideshow(world):
    world.machine.install(version=V)
    world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V))
    # The worker waits in the first file for as long as the test needs the window.
    with FaultyFolder(world.disc.root / "Data", {"Default.npj": Served(b"p", hold=True)}) as data:
        run = world.start()
        try:
            wait_for(data.files["Default.npj"].reached, "the transfer to start")
            client, _ = shown(world)
            slides = Slides(world, client[:2])
            first = slides.shown()
            slide, _ = slides.next_change(first)
            assert slide == after(first)
            # A click on another marker halfway through the interval: its picture at once, the next one a whole
            # interval after the click (not at the tick that was due).
            target = 5 if slide not in (4, 5) else 2
            time.sleep(INTERVAL / 2)
            clicked = slides.click(*MARKER_CENTRES[target - 1])
            shown_now, at = slides.next_change(slide, timeout=1.0)
            assert shown_now == target and at - clicked < 1.0
            slide, at = slides.next_change(target)
            assert slide == after(target) and at - clicked > INTERVAL - 0.5, at - clicked
            # A click on the marker already shown keeps the picture and restarts the interval.
            time.sleep(INTERVAL / 2)
            clicked = slides.click(*MARKER_CENTRES[slide - 1])
            following, at = slides.next_change(slide)
            assert following == after(slide) and at - clicked > INTERVAL - 0.5, at - clicked
            # A click beside the markers changes no picture; the interval starts again there too.
            time.sleep(INTERVAL / 2)
            clicked = slides.click(80, 270)
            slide, at = slides.next_change(following)
            assert slide == after(following) and at - clicked > INTERVAL - 0.5, at - clicked
        finally:
            data.files["Default.npj"].release()
            run.kill()


# --- prompts, the reference folder, the configuration file ----------------------------------------------------

OLDER = "Current Tovi Plus {0} Program was old version. \n\nDo you want to install New Version Tovi Plus {0}?"


def test_upgrade_prompt_answered_no_starts_nothing(world):
    root = world.machine.install(version=(1, 2, 3, 4))
    world.disc.setup().suid(suid_text(mode="DiscStudio", sid="A1", version=(1, 2, 3, 5))).data({"Default.npj": b"p"})
    run = world.start()
    try:
        prompt = harness.answer_prompt("no", world.tmp)
        rc = run.wait(30)
    finally:
        run.kill()
    assert prompt == (OLDER.format("Disc Studio"), "&Yes|&No")
    assert rc == 0
    assert harness.started_command_lines(world.disc.root / "Setup" / "Setup.exe", wait=1) == []
    assert harness.started_command_lines(root / "Tovi2009.exe", wait=0.2) == []
    assert list((root / "Patient").iterdir()) == []


def test_installation_without_its_reference_folder(world):
    world.expect_warning()  # files fail on purpose: the box that tells so is answered
    root = world.machine.install(version=V, implantdb=False)
    world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V)).data({"Default.npj": b"p"})
    world.disc.data({"index.db": b"r", "Maker/fixture.stl": b"f"}, folder="ImplantDB")
    run, rc = world.run()
    assert rc == 0
    disc = harness.winpath(world.disc.root)
    reference_lines = sorted(l for l in world.debug_lines() if "\\ImplantDB\\" in l)
    assert reference_lines == [
        f"Copy File : {disc}\\ImplantDB\\Maker\\fixture.stl => C:\\Tovi2009\\ImplantDB\\Maker\\fixture.stl : Failed\n",
        f"Copy File : {disc}\\ImplantDB\\index.db => C:\\Tovi2009\\ImplantDB\\index.db : Failed\n"]
    assert not (root / "ImplantDB").exists()
    assert (root / "Patient" / "A1" / "Default.npj").read_bytes() == b"p"
    assert [harness.arguments_of(l) for l in harness.started_command_lines(root / "Tovi2009.exe")] == [
        "DiscStudio#A1#C:\\Tovi2009\\Patient\\A1\\Default.npj"]


@pytest.mark.parametrize("into_id", [4, 5], ids=["at-a-group-boundary", "inside-a-group"])
def test_scrambled_configuration_that_cannot_be_read_to_its_end(world, tmp_path, into_id):
    """A read error in the middle of the patient's ID (a scratched disc): the launcher must not take the part it
    read for the whole, or the patient's data would go to another patient's folder."""
    root = world.machine.install(version=V)
    # Scrambling keeps every byte in its place and works in groups of 4 bytes; the ID starts on a group boundary.
    text = suid_text(mode="DiscStudio", sid="20091118_KIM", version=V, mark=None).replace(b"ID=", b"ID=" + b" " * (
        -(suid_text(mode="DiscStudio", sid="", version=V, mark=None).index(b"ID=") + 3) % 4))
    scrambled = harness.scramble(text)
    cut = text.index(b"2009111") + into_id
    assert cut % 4 == into_id % 4
    world.disc.data({"Default.npj": b"p"})
    with FaultyFolder(tmp_path / "served", {"SUID.ini": Served(scrambled, fail_from=cut)}) as served:
        (world.disc.root / "SUID.ini").symlink_to(tmp_path / "served" / "SUID.ini")
        run, rc = world.run()
    assert served.files["SUID.ini"].failed_reads > 0
    assert rc == 0
    assert not (harness.drive_c() / "users" / "root" / "SUID.temp").exists()
    assert list((root / "Patient").iterdir()) == []
    assert harness.started_command_lines(root / "Tovi2009.exe", wait=1) == []
