#!/usr/bin/python3
"""Builds the bundled demo patient disc from the sources in this folder: a patient's project, a CT
series of small slices (enough for the progress window to be seen), and a reference database."""
import shutil
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests" / "scenario"))
import harness  # noqa: E402

PATIENT_ID = "20091118_DEMO"
MODE = "DiscStudio"
VERSION = (1, 0, 0, 0)
SLICES = 1200


def slice_bytes(i: int) -> bytes:
    # A tiny stand-in for a CT slice: a header line and a deterministic gradient.
    header = f"SLICE {i:04d} 64x64 16bit\n".encode()
    return header + bytes(((x * 7 + i) & 0xFF) for x in range(1024))


def build(out: Path) -> harness.Disc:
    if out.exists():
        shutil.rmtree(out)
    disc = harness.Disc(out)
    disc.suid(harness.suid_text(mode=MODE, sid=PATIENT_ID, version=VERSION, plain=False))
    files = {"Default.npj": (HERE / "Default.npj").read_bytes(), "Report.txt": (HERE / "Report.txt").read_bytes(),
             "Thumbnails": None}
    files.update({f"CT{i:04d}.dcm": slice_bytes(i) for i in range(SLICES)})
    disc.data(files)
    disc.data({"Implants.db": b"maker;line;diameter;length\nDemoDent;Classic;4.0;10\nDemoDent;Classic;4.5;11.5\n",
               "DemoDent/Classic/4.0x10.stl": b"solid demo_4.0x10\nendsolid\n",
               "DemoDent/Classic/4.5x11.5.stl": b"solid demo_4.5x11.5\nendsolid\n"}, folder="ImplantDB")
    disc.viewer().setup()
    return disc


if __name__ == "__main__":
    build(Path(sys.argv[1]))
