"""The progress window while the reference database is copied, and requests to close the launcher during a
transfer: the window keeps answering and painting, nothing starts twice, and no close request cuts the transfer."""
import time

import pytest

import harness
import screen
from harness import suid_text

V = (1, 2, 3, 4)
PATIENT_FILES = 40
# Enough reference files for a copy of several seconds under Wine (folders of a few hundred names each).
REFERENCE_FOLDERS, REFERENCE_FILES_EACH = 24, 300
ARTIFACTS = harness.ROOT / "build" / "artifacts"
BAR_Y = 394  # a row through the bar, in client pixels at 96 DPI


def reference_disc(world, folders=REFERENCE_FOLDERS, each=REFERENCE_FILES_EACH):
    return screen.long_transfer(world, folders, each, PATIENT_FILES)


def copy_lines(world):
    return [l for l in world.debug_lines() if l.startswith("Copy File : ")]


def reference_copy_lines(world):
    return [l for l in world.debug_lines() if l.startswith("Copy File : ") and "\\ImplantDB\\" in l]


def viewer_starts(root, wait=0.0):
    """The parameters of every start of the installed viewer so far (`wait`: for the first one)."""
    return [harness.arguments_of(l) for l in harness.started_command_lines(root / "Tovi2009.exe", wait=wait)]


HANDED_OVER = ["DiscStudio#A1#C:\\Tovi2009\\Patient\\A1\\Default.npj"]


def in_reference_copy(world, run, root):
    """The launcher is still copying the reference database: running, viewer not started."""
    return run.running() and not viewer_starts(root)


def test_window_answers_paints_and_turns_its_slides_throughout_the_reference_copy(world):
    root = world.machine.install(version=V)
    # Long enough for a turn of the slideshow and a click while it runs (about 10 s here).
    references = reference_disc(world, folders=16, each=1000)
    run = world.start()
    watch = None
    try:
        assert harness.wait_for_progress_window(world.tmp)
        watch = screen.Watch(world.tmp)
        # The window shows the reference copy going on: its status line, its count of the reference files, its bar.
        windows = screen.wait_for_counter(world.tmp, references // 10, references)
        assert windows, "the counter did not move with the reference files"
        assert screen.control_text(windows, 1002) == "Copying the reference database..."
        began = time.monotonic()
        time.sleep(0.3)
        first = screen.client_image(world.tmp)
        assert in_reference_copy(world, run, root)
        # The README's view of this phase.
        ARTIFACTS.mkdir(parents=True, exist_ok=True)
        first.save(ARTIFACTS / "progress-window-reference.png")
        left, right = first.getpixel((30, BAR_Y)), first.getpixel((650, BAR_Y))
        assert len(set(left)) > 1 and len(set(right)) == 1, (left, right)  # filled part-way: colour, then grey
        counted = int(screen.control_text(windows, 1003).split(" / ")[0])
        # The slideshow turns: another picture within an interval and a little.
        shown = screen.lit_markers(first)
        while screen.lit_markers(screen.client_image(world.tmp)) == shown:
            assert time.monotonic() - began < 4, "the slideshow stood still"
            time.sleep(0.2)
        assert in_reference_copy(world, run, root), "the reference copy ended too soon for this test"
        # A click on a marker shows its picture at once.
        target = 2 if screen.lit_markers(screen.client_image(world.tmp)) == [5] else 5
        screen.click(*screen.marker_centre(target, screen.PICTURE))
        time.sleep(0.5)
        assert screen.lit_markers(screen.client_image(world.tmp)) == [target]
        assert in_reference_copy(world, run, root), "the reference copy ended too soon for this test"
        # The counter has moved on with the reference files meanwhile.
        assert screen.wait_for_counter(world.tmp, counted + 1, references, timeout=5), "the counter stood still"
        assert run.wait(180) == 0
        lasted = time.monotonic() - began
    finally:
        if watch:
            watch.stop()
        run.kill()
    samples = watch.samples()
    worst = max(s[1] for s in samples)
    assert worst < 1000 and not any(s[2] for s in samples) and all(s[3] for s in samples), samples
    # The watch covered the reference copy: a sample at least every second of it.
    assert len(samples) >= lasted - 1
    assert len(reference_copy_lines(world)) == references
    assert viewer_starts(root, wait=5) == HANDED_OVER


def test_messages_during_the_reference_copy_start_nothing_twice(world):
    """While the reference copy runs the window takes messages; the hand-off's own come again from outside."""
    root = world.machine.install(version=V)
    references = reference_disc(world)
    run = world.start()
    try:
        assert harness.wait_for_progress_window(world.tmp)
        assert screen.wait_for_counter(world.tmp, 1, references)
        for message in (screen.WM_COPY_FINISHED, screen.WM_LAUNCH_VIEWER, screen.WM_COPY_FINISHED):
            assert screen.post(screen.FRAME, message)[0] == 0
        time.sleep(0.5)
        assert in_reference_copy(world, run, root)
        assert run.wait(180) == 0
    finally:
        run.kill()
    lines = reference_copy_lines(world)
    assert len(lines) == len(set(lines)) == references
    assert viewer_starts(root, wait=5) == HANDED_OVER


@pytest.mark.parametrize("phase", ["patient", "reference"])
def test_close_request_waits_for_the_hand_off(world, phase):
    """`taskkill` without /f, as logoff and installers ask a program to close: WM_CLOSE to every window."""
    root = world.machine.install(version=V)
    if phase == "patient":
        world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V, plain=False))
        files = 2000
        world.disc.data({"Default.npj": b"project", **{f"scan{i:04d}.dcm": b"s" * 512 for i in range(files - 1)}})
    else:
        files = PATIENT_FILES
        references = reference_disc(world)
    run = world.start()
    try:
        assert harness.wait_for_progress_window(world.tmp)
        assert screen.wait_for_counter(world.tmp, 1, files if phase == "patient" else references)
        harness.wine("taskkill", "/im", "autorun.exe", check=False)
        assert in_reference_copy(world, run, root) or phase == "patient" and run.running()
        assert run.wait(180) == 0
    finally:
        run.kill()
    assert len(list((root / "Patient" / "A1").iterdir())) == files
    assert not [p for p in root.rglob("*") if p.name.lower().endswith(".tmp")]
    assert viewer_starts(root, wait=5) == HANDED_OVER


def test_close_request_outside_a_transfer_closes_at_once(world):
    world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V)).setup()
    run = world.start()  # no viewer installed: the install prompt, and no transfer
    try:
        assert harness.answer_prompt("none", world.tmp) is not None
        assert screen.post(screen.FRAME, screen.WM_CLOSE)[0] == 0
        assert run.wait(10) == 0
    finally:
        run.kill()


def test_end_of_session_during_the_copy_stops_between_two_files(world):
    """The earlier copies stay whole, no file is left half written, and the launcher ends."""
    root = world.machine.install(version=V)
    world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V, plain=False))
    # Earlier copies replaced one by one, each long enough to be stopped in the middle of.
    new = {f"slice{i:03d}.dcm": bytes([i % 256]) * (1 << 20) for i in range(600)}
    world.disc.data({"Default.npj": b"project", **new})
    world.disc.data({"index.db": b"reference"}, folder="ImplantDB")
    patient = root / "Patient" / "A1"
    harness.write_tree(patient, {name: b"old" * 1000 for name in new})
    run = world.start()
    try:
        deadline = time.monotonic() + 60
        while len(copy_lines(world)) < 5:
            assert time.monotonic() < deadline, "no copy began"
            time.sleep(0.01)
        # The session may end (1), then it ends; the second send gets no answer.
        rc, results = screen.send(screen.FRAME, (screen.WM_QUERYENDSESSION, 0, 0), (screen.WM_ENDSESSION, 1, 0))
        assert results[:1] == [1]
        assert run.wait(15) == 0
    finally:
        run.kill()
    assert not viewer_starts(root) and not (root / "ImplantDB" / "index.db").exists()
    names = sorted(p.name for p in patient.iterdir())
    assert names == sorted(["Default.npj", *new]) or names == sorted(new), names
    copied = 0
    for name, content in new.items():
        now = (patient / name).read_bytes()
        assert now in (content, b"old" * 1000), name
        copied += now == content
    assert 0 < copied < len(new)
    assert not [p for p in root.rglob("*") if p.name.lower().endswith(".tmp")]
