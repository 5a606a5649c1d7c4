#!/usr/bin/python3
"""Builds the bundled demo patient disc from the sources in this folder: a patient's project, a CT
series of small slices (enough for the progress window to be seen), and a reference database."""
import shutil
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests" / "scenario"))
import harness  # noqa: E402

PATIENT_ID = "20091118_DEMO"
MODE = "DiscStudio"
VERSION = (1, 0, 0, 0)
SLICES = 1200
SUIDTOOL = harness.ROOT / "build" / "native" / "suidtool"


def slice_bytes(i: int) -> bytes:
    # A tiny stand-in for a CT slice: a header line and a deterministic gradient.
    header = f"SLICE {i:04d} 64x64 16bit\n".encode()
    return header + bytes(((x * 7 + i) & 0xFF) for x in range(1024))


def build(out: Path, mode: str = MODE) -> harness.Disc:
    """Writes the demo's sources to a scratch folder and has `suidtool make-disc` assemble the disc."""
    if out.exists():
        shutil.rmtree(out)
    sources = out.parent / (out.name + ".sources")
    if sources.exists():
        shutil.rmtree(sources)
    patient = {"Default.npj": (HERE / "Default.npj").read_bytes(), "Report.txt": (HERE / "Report.txt").read_bytes()}
    patient.update({f"CT{i:04d}.dcm": slice_bytes(i) for i in range(SLICES)})
    harness.write_tree(sources / "patient", patient)
    harness.write_tree(sources / "implantdb", {
        "Implants.db": b"maker;line;diameter;length\nDemoDent;Classic;4.0;10\nDemoDent;Classic;4.5;11.5\n",
        "DemoDent/Classic/4.0x10.stl": b"solid demo_4.0x10\nendsolid\n",
        "DemoDent/Classic/4.5x11.5.stl": b"solid demo_4.5x11.5\nendsolid\n"})
    viewer = sources / "viewer"
    harness.write_tree(viewer, {"Setup": None})
    shutil.copy(harness.TOOLS / "stub.exe", viewer / "Tovi2009.exe")
    shutil.copy(harness.TOOLS / "stub.exe", viewer / "Setup" / "Setup.exe")
    made = subprocess.run([str(SUIDTOOL), "make-disc", "--out", str(out), "--patient", str(sources / "patient"),
                           "--id", PATIENT_ID, "--mode", mode, "--version", ".".join(map(str, VERSION)),
                           "--implantdb", str(sources / "implantdb"), "--viewer", str(viewer), "--autorun",
                           str(harness.AUTORUN)], capture_output=True, text=True)
    if made.returncode != 0:
        raise SystemExit("suidtool make-disc failed:\n" + made.stdout + made.stderr)
    shutil.rmtree(sources)
    return harness.Disc(out, existing=True)


if __name__ == "__main__":
    build(Path(sys.argv[1]))
