"""The reference database's copy, through the real launcher: what a run cut off in the middle of it leaves is gone
after the next run, and the copy keeps to the disc's own tree, whatever links and loops the tree holds. Each loop
guard of the copy gets a tree that only it stops: a link to a folder outside the tree (only the refusal of links
stops it: the folder was never entered), and a folder that leads back up the tree without showing as a link (only
the memory of the folders entered stops it), as a share that follows the server's links serves one."""
import os
import time
from pathlib import Path

import harness
from faultyfs import FaultyFolder, Served
from harness import suid_text
from loopfs import LoopingFolder

V = (0, 0, 0, 0)


def tree(folder: Path):
    """Every name below the folder, as relative paths, folders with a trailing slash."""
    return sorted(str(p.relative_to(folder)) + ("/" if p.is_dir() else "") for p in folder.rglob("*"))


def reference_sources(world):
    return sorted(line.split(" => ")[0][len("Copy File : "):] for line in world.debug.lines()
                  if line.startswith("Copy File : ") and "\\ImplantDB\\" in line)


def test_the_run_after_one_cut_off_in_the_reference_copy_clears_what_it_left(world):
    root = world.machine.install(version=V)
    world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V)).data({"Default.npj": b"p"})
    (root / "ImplantDB" / "index.db").write_bytes(b"an earlier disc's")
    with FaultyFolder(world.disc.root / "ImplantDB", {"index.db": Served(b"reference", hold=True)}) as reference:
        run = world.start()
        try:
            # The reference copy waits in its first read: its copy is on the way, in the middle.
            assert reference.files["index.db"].reached.wait(60), "the reference copy did not start"
            run.proc.kill()  # as a power cut or the task manager would; it takes effect when the read returns
        finally:
            reference.files["index.db"].release()
            run.kill()
    left = tree(root / "ImplantDB")
    assert left != ["index.db"], "the cut-off run left nothing on the way"
    assert (root / "ImplantDB" / "index.db").read_bytes() == b"an earlier disc's"

    world.disc.data({"index.db": b"reference", "Maker/fixture.stl": b"fixture"}, folder="ImplantDB")
    run, rc = world.run(timeout=60)
    assert rc == 0
    assert tree(root / "ImplantDB") == ["Maker/", "Maker/fixture.stl", "index.db"], f"left by the cut-off run: {left}"
    assert (root / "ImplantDB" / "index.db").read_bytes() == b"reference"


def test_a_link_to_a_folder_outside_the_tree_is_not_followed(world, tmp_path):
    root = world.machine.install(version=V)
    world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V)).data({"Default.npj": b"p"})
    world.disc.data({"index.db": b"root", "Maker/fixture.stl": b"fixture"}, folder="ImplantDB")
    elsewhere = tmp_path / "elsewhere"
    harness.write_tree(elsewhere, {"foreign.stl": b"not the disc's", "Deep/foreign.db": b"not the disc's"})
    os.symlink(elsewhere, world.disc.root / "ImplantDB" / "Maker" / "Shared")
    run, rc = world.run(timeout=60)
    assert rc == 0
    assert tree(root / "ImplantDB") == ["Maker/", "Maker/fixture.stl", "index.db"]
    assert len(reference_sources(world)) == 2


def test_a_folder_that_leads_back_up_without_showing_as_a_link_is_entered_once(world):
    root = world.machine.install(version=V)
    world.disc.suid(suid_text(mode="DiscStudio", sid="A1", version=V)).data({"Default.npj": b"p"})
    files = {"index.db": b"root", "Maker/fixture.stl": b"fixture", "Maker/Line/deep.stl": b"deep"}
    with LoopingFolder(world.disc.root / "ImplantDB", files, loop="Maker/Line/Again", to="Maker"):
        started = time.time()
        run, rc = world.run(timeout=120)
        assert rc == 0
    assert time.time() - started < 60
    assert tree(root / "ImplantDB") == ["Maker/", "Maker/Line/", "Maker/Line/deep.stl", "Maker/fixture.stl",
                                        "index.db"]
    assert len(reference_sources(world)) == 3
