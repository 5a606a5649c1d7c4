"""The progress window on the screens clinic PCs have: 96, 120 and 144 DPI, small screens, task bars. Each case
restarts the session's Wine world on such a screen (scenario display.py) and runs the real launcher on it."""
import subprocess

import pytest

import display
import harness
import screen

ARTIFACTS = harness.ROOT / "build" / "artifacts"
STATUS, COUNT = 1002, 1003
PATIENT_FILES = 6000  # a copy of several seconds under Wine

SCREENS = [
    # width, height, DPI, work area (left, top, width, height) a task bar leaves, or None
    pytest.param(1024, 768, 96, None, id="1024x768-96dpi"),
    pytest.param(1024, 768, 120, None, id="1024x768-120dpi"),
    pytest.param(1024, 768, 144, None, id="1024x768-144dpi"),
    pytest.param(800, 600, 120, None, id="800x600-120dpi"),
    pytest.param(800, 600, 120, (0, 0, 800, 570), id="800x600-120dpi-taskbar"),
    pytest.param(640, 480, 96, None, id="640x480-96dpi"),
    pytest.param(640, 480, 96, (0, 30, 640, 450), id="640x480-96dpi-taskbar-top"),
    # The window shrinks so far that the status line needs a smaller font than the template's.
    pytest.param(640, 480, 120, None, id="640x480-120dpi"),
]


@pytest.fixture(scope="module", autouse=True)
def artifacts():
    ARTIFACTS.mkdir(parents=True, exist_ok=True)


def window_rect(tmp):
    top = [w for w in harness.visible_windows(screen.EXE, tmp) if not w.startswith("  ") and " 1 #32770 " in w]
    assert len(top) == 1, top
    return tuple(int(v) for v in top[0].split()[-4:])


def in_process_checks(tmp):
    """The Win32-side tests of the window as this screen makes it, in their own process."""
    out = tmp / "win_tests.txt"
    with open(out, "wb") as f:
        rc = subprocess.run(["wine", str(harness.BUILD / "tests" / "win" / "win_tests.exe"),
                             "--gtest_filter=ProgressWindowOnThisScreen.*:ProgressLayoutOnThisScreen.*"], stdin=subprocess.DEVNULL, stdout=f,
                            stderr=subprocess.STDOUT, timeout=120).returncode
    return rc, out.read_text(errors="replace")


@pytest.fixture
def on_screen(width, height, dpi, workarea):
    """The session's Wine world on the screen of the case. Its wineserver restarts here, before the test's world starts
    its debug listener and warning watcher: a restart under them would end both."""
    with display.screen_of(width, height, dpi, workarea):
        yield


@pytest.mark.parametrize("width,height,dpi,workarea", SCREENS)
def test_progress_window_on_a_screen(on_screen, world, width, height, dpi, workarea):
    world.machine.install(version=(1, 2, 3, 4))
    # The window is looked at while the patient's files are copied.
    screen.long_transfer(world, folders=1, each=10, patient_files=PATIENT_FILES)
    run = world.start()
    try:
        assert harness.wait_for_progress_window(world.tmp)
        assert screen.wait_for_counter(world.tmp, 1, PATIENT_FILES)
        # Whole on the screen, inside the work area a task bar leaves.
        left, top, right, bottom = window_rect(world.tmp)
        work = screen.work_area(world.tmp)
        if workarea:
            assert work == (workarea[0], workarea[1], workarea[0] + workarea[2], workarea[1] + workarea[3])
        assert work[0] <= left and work[1] <= top and right <= work[2] and bottom <= work[3], (left, top, work)
        # The picture over the whole client area, in its own proportions.
        area = screen.client_area(world.tmp)
        drawn = area[2:]
        assert abs(drawn[0] * screen.PICTURE[1] - drawn[1] * screen.PICTURE[0]) <= 2 * screen.PICTURE[0], drawn
        if width == 1024 and dpi in (96, 120):
            # The views of the README, border included.
            screen.screenshot().crop((left, top, right, bottom)).save(ARTIFACTS / f"progress-window-{dpi}dpi.png")
        shot = screen.client_image(world.tmp)
        assert screen.picture_difference(shot) < 12
        if abs(drawn[0] - screen.PICTURE[0]) <= 4:
            drawn = screen.PICTURE  # drawn 1:1: the client area shows 677 of its 680 columns at 96 DPI
        # A click on each marker shows its picture.
        for marker in range(1, 8):
            assert screen.click(*screen.marker_centre(marker, drawn))[0] == 0
            assert screen.lit_markers(screen.client_image(world.tmp), drawn) == [marker], marker
        # The status line and the counter whole in the template's font, where the window keeps it.
        if width == 1024:
            for control in (STATUS, COUNT):
                text_width, text_height, room_width, room_height = screen.measure(world.tmp, control)
                assert text_width <= room_width and text_height <= room_height, (control, text_width, room_width)
    finally:
        run.kill()
    rc, output = in_process_checks(world.tmp)
    assert rc == 0, output
