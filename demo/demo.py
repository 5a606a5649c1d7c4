#!/usr/bin/python3
"""Runs autorun.exe on the demo disc under Wine and tells what it did."""
import argparse
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests" / "scenario"))
import harness  # noqa: E402
import make_demo_disc  # noqa: E402

ARTIFACTS = harness.ROOT / "build" / "artifacts"


def show(title, lines):
    print(f"\n{title}:")
    for line in lines or ["(none)"]:
        print("  " + line.rstrip("\n"))


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--mode", choices=["transfer", "install", "clarivue"], default="transfer",
                    help="transfer: viewer installed, patient copied (default); install: no viewer, install "
                         "prompt; clarivue: the disc's own viewer is started")
    ap.add_argument("--answer", choices=["yes", "no"], default="yes", help="answer to the install prompt")
    args = ap.parse_args()

    work = Path(tempfile.mkdtemp(prefix="autorun-demo."))
    disc = make_demo_disc.build(harness.ROOT / "build" / "demo-disc")
    machine = harness.Machine(work)
    if args.mode == "clarivue":
        subprocess.run([str(make_demo_disc.SUIDTOOL), "write", "--mode", "Clarivue", "--id",
                        make_demo_disc.PATIENT_ID, "--version", "1.0.0.0", "--scrambled", str(disc.root / "SUID.ini")],
                       check=True)
    if args.mode == "transfer":
        machine.install(version=make_demo_disc.VERSION)
    print(f"Demo disc: {disc.root}  ({harness.winpath(disc.root)}), assembled by suidtool make-disc")
    subprocess.run([str(make_demo_disc.SUIDTOOL), "read", str(disc.root / "SUID.ini")])
    print("Installed viewer: " + ("C:\\Tovi2009" if args.mode == "transfer" else "none"))

    debug = harness.DebugListener(work)
    started = time.monotonic()
    run = harness.Run(disc.exe, work)
    try:
        if args.mode == "install":
            prompt = harness.answer_prompt(args.answer, work)
            show(f"Prompt (answered {args.answer})", prompt[0].splitlines() if prompt else None)
        if args.mode == "transfer":
            found = bool(harness.wait_for_progress_window(work, timeout=30))
            if found and os.environ.get("WINE_ENV_XVFB_PID"):
                ARTIFACTS.mkdir(parents=True, exist_ok=True)
                shot = ARTIFACTS / "demo-progress-window.png"
                time.sleep(0.3)
                subprocess.run(["/usr/bin/import", "-window", "root", str(shot)], capture_output=True, timeout=30)
                print(f"No display of yours: the progress window was saved as {shot}")
        rc = run.wait(180)
    finally:
        run.kill()
        debug.stop()
    elapsed = time.monotonic() - started

    print(f"\nautorun.exe exited with {rc} after {elapsed:.1f} s")
    show("Standard output", run.stdout.splitlines())
    lines = debug.lines()
    copies = [l for l in lines if l.startswith("Copy File")]
    others = [l for l in lines if not l.startswith("Copy File")]
    show("Debug output", others + (copies[:3] + [f"... {len(copies)} copy lines in all"] if copies else []))
    if args.mode == "transfer":
        patient = harness.drive_c() / "Tovi2009" / "Patient" / make_demo_disc.PATIENT_ID
        names = sorted(p.name for p in patient.iterdir()) if patient.exists() else []
        show(f"Patient folder C:\\Tovi2009\\Patient\\{make_demo_disc.PATIENT_ID}",
             [f"{len(names)} entries: " + ", ".join(names[:4] + ["..."] + names[-2:])] if names else None)
        ref = harness.drive_c() / "Tovi2009" / "ImplantDB"
        show("Reference database C:\\Tovi2009\\ImplantDB", sorted(str(p.relative_to(ref)) for p in ref.rglob("*")))
        show("Installed viewer started with", harness.started_command_lines(harness.drive_c() / "Tovi2009" /
                                                                              "Tovi2009.exe"))
    if args.mode == "install":
        show("Setup program started with", harness.started_command_lines(disc.root / "Setup" / "Setup.exe", wait=3))
    if args.mode == "clarivue":
        show("Disc viewer started with", harness.started_command_lines(disc.root / "Tovi2009.exe"))
    machine.reset()


if __name__ == "__main__":
    main()
