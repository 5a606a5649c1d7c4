"""A logoff or a shutdown that is called off while the launcher copies: the system asks whether the session may end
(the launcher says yes), then tells it that the session goes on (WM_ENDSESSION with FALSE). The transfer goes on
as if nothing had happened: every file, the reference copy, the viewer."""
import time

import harness
import screen
from faultyfs import FaultyFolder, Served
from harness import suid_text

V = (1, 2, 3, 4)


def test_an_end_of_session_called_off_during_the_copy_changes_nothing(world):
    root = world.machine.install(version=V)
    world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V))
    files = {f"s{i:03d}.dcm": bytes([i % 256]) * 100000 for i in range(300)}
    world.disc.data({"index.db": b"reference"}, folder="ImplantDB")
    # The copy waits in a file in its middle while the session's end is asked and called off: on a busy machine the
    # tool that sends the messages could otherwise start after the copy is over.
    served = {"Default.npj": Served(b"project"), **{name: Served(data) for name, data in files.items()}}
    held = served["s150.dcm"] = Served(files["s150.dcm"], hold=True)
    with FaultyFolder(world.disc.root / "Data", served):
        run = world.start()
        try:
            assert held.reached.wait(60 * harness.TIME_SCALE), "the copy did not reach the held file"
            rc, results = screen.send(screen.FRAME, (screen.WM_QUERYENDSESSION, 0, 0), (screen.WM_ENDSESSION, 0, 0))
            copied_by_then = len([l for l in world.debug_lines() if l.startswith("Copy File : ")])
            held.release()
            assert rc == 0 and results == [1, 0], (rc, results)
            assert copied_by_then < len(files), "the copy was over before the session's end was called off"
            assert run.wait(60) == 0
        finally:
            held.release()
            run.kill()
    patient = root / "Patient" / "A1"
    for name, content in files.items():
        assert (patient / name).read_bytes() == content, name
    assert (root / "ImplantDB" / "index.db").read_bytes() == b"reference"
    arguments = [harness.arguments_of(l) for l in harness.started_command_lines(root / "Tovi2009.exe", wait=5)]
    assert arguments == ["DiscStudio#A1#C:\\Tovi2009\\Patient\\A1\\Default.npj"]
