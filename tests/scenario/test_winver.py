"""The main road of a patient disc with Wine reporting the oldest and a recent Windows the launcher is built for.

The launcher imports only what Windows XP SP3 exports (tests/win/check_imports.cmake: Wine's DLLs export their
later functions whatever version they report, so only that check can catch an import XP lacks). These runs show
the launcher does the same when the system says it is XP or 10, the version its own calls and the runtime see.
"""
import pytest

import harness
from harness import suid_text

V = (1, 2, 3, 4)


@pytest.fixture(params=[("winxp", "5.1.2600"), ("win10", "10.0.")], ids=["windows-xp", "windows-10"])
def windows(request):
    name, version = request.param
    if harness.TWIN and name == "winxp":
        name, version = "winxp64", "5.2.3790"  # a 64-bit prefix knows XP as its 64-bit edition
    before = harness.wine("winecfg", "/v").stdout.decode().strip()
    harness.wine("winecfg", "/v", name)
    try:
        # What a program asking the system sees.
        assert f"Microsoft Windows {version}" in harness.wine("cmd", "/c", "ver").stdout.decode()
        yield name
    finally:
        harness.wine("winecfg", "/v", before)


def test_main_road(world, windows):
    root = world.machine.install(version=V)
    world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V, plain=False))
    world.disc.data({"Default.npj": b"project", "scan.dcm": b"x" * 5000, "Series.1": None})
    world.disc.data({"index.db": b"root", "Maker/fixture.stl": b"deep"}, folder="ImplantDB")
    run, rc = world.run()
    assert rc == 0
    assert run.stdout == "done!\n"
    patient = root / "Patient" / "A1"
    assert sorted(p.name for p in patient.iterdir()) == ["Default.npj", "Series.1", "scan.dcm"]
    assert (patient / "scan.dcm").read_bytes() == b"x" * 5000
    assert (root / "ImplantDB" / "Maker" / "fixture.stl").read_bytes() == b"deep"
    copies = [l for l in world.debug_lines() if l.startswith("Copy File : ")]
    assert len(copies) == 4 and all(l.endswith(" : Success\n") for l in copies), copies
    lines = harness.started_command_lines(root / "Tovi2009.exe")
    assert [harness.arguments_of(l) for l in lines] == ["DiscStudio#A1#C:\\Tovi2009\\Patient\\A1\\Default.npj"]
    assert harness.visible_windows("autorun.exe", world.tmp) == []
