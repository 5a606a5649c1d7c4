#!/usr/bin/python3
"""Runs autorun.exe on the demo disc under Wine and tells what it did.

Run through scripts/demo, which builds the launcher and starts a throwaway Wine world first."""
import argparse
import os
import re
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
SCREENSHOT = ARTIFACTS / "demo-progress-window.png"
SHOT_TMP = ARTIFACTS / "demo-progress-window.tmp.png"
INSTALL = "C:\\Tovi2009"
MODES = {"transfer": make_demo_disc.MODE, "install": make_demo_disc.MODE, "clarivue": "Clarivue"}


def parse_arguments(argv):
    ap = argparse.ArgumentParser(prog="scripts/demo", description="Runs autorun.exe on the bundled demo disc under "
                                 "Wine (built and started first) and tells what it did.")
    ap.add_argument("--mode", choices=list(MODES), default="transfer",
                    help="transfer: the viewer is installed, the patient's data is copied and the viewer started "
                         "(default); install: no viewer, the install prompt; clarivue: a disc that starts its own "
                         "viewer")
    ap.add_argument("--answer", choices=["yes", "no"], default="yes", help="answer to the install prompt (--mode "
                                                                           "install)")
    ap.add_argument("--shipped", action="store_true", help="run the shipped 32-bit launcher (build/win32), in an "
                    "emulated machine (scripts/vm32) where this host runs no 32-bit programs; slower there")
    ap.add_argument("--check-arguments", action="store_true", help=argparse.SUPPRESS)
    return ap.parse_args(argv)


class Clock:
    def __init__(self):
        self.start = time.monotonic()

    def say(self, what):
        print(f"  {time.monotonic() - self.start:5.1f} s  {what}")


def disc_summary(disc):
    read = subprocess.run([str(make_demo_disc.SUIDTOOL), "read", str(disc.root / "SUID.ini")],
                          capture_output=True, text=True, check=True)
    fields = dict(line.split(": ", 1) for line in read.stdout.splitlines() if ": " in line)
    files = sum(1 for p in (disc.root / "Data").iterdir() if p.is_file())
    references = sum(1 for p in (disc.root / "ImplantDB").rglob("*") if p.is_file())
    return [f"SUID.ini ({fields.get('form', '?')}): mode {fields.get('mode', '?')}, patient "
            f"{fields.get('id', '?')}, version {fields.get('version', '?')}",
            f"Data: {files} patient files; ImplantDB: {references} reference files; Tovi2009.exe and "
            "Setup\\Setup.exe (stand-ins that log how they were started)"]


class WindowWatch:
    """Waits for a dialog from its own Wine process, started before anything else: it sees the window within 20 ms
    of its appearance, and it starts Wine's desktop while the disc is built. In a new Wine world that start can
    stall for 10 s (its RPC service is not up yet): a launcher that paid for it kept its window up after the stall
    for too short a time, and the demo's first run saved no screenshot."""

    def __init__(self, work: Path):
        self.out = open(work / "waitwin.out", "wb")
        self.proc = subprocess.Popen(["wine", str(harness.TOOLS / "waitwin.exe"), "#32770", "-", "120000"],
                                     stdin=subprocess.DEVNULL, stdout=self.out, stderr=subprocess.DEVNULL)

    def seen(self, run: harness.Run) -> bool:
        while self.proc.poll() is None and run.running():
            time.sleep(0.01)
        return self.proc.poll() == 0

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.out.close()


def watch_transfer(run, watch, clock):
    if not watch.seen(run):
        clock.say("the progress window was not seen: the launcher ended before it showed")
        return
    if not os.environ.get("WINE_ENV_XVFB_PID"):
        clock.say("the progress window opened on your display")
        return
    time.sleep(0.5)  # the first picture is painted once the window has shown
    ARTIFACTS.mkdir(parents=True, exist_ok=True)
    shot = subprocess.run(["/usr/bin/import", "-window", "root", str(SHOT_TMP)], capture_output=True, timeout=30)
    if shot.returncode == 0 and run.running():
        os.replace(SHOT_TMP, SCREENSHOT)
        clock.say(f"the progress window opened; screenshot: {SCREENSHOT.relative_to(harness.ROOT)}")
    else:
        SHOT_TMP.unlink(missing_ok=True)
        clock.say("the progress window opened, but the launcher ended before a screenshot was taken")


def account(args, disc, run, debug, prompt):
    """What the launcher did, from what it left: debug lines, files, started programs, console lines."""
    done = []
    lines = debug.lines()
    versions = {l.split(" : ")[0]: ".".join(re.findall(r"-?\d+", l.split(" : ", 1)[1])) for l in lines if "HILMS" in l}
    if versions:
        done.append(f"compared versions: installed {versions.get('Installed', '?')}, disc {versions.get('CD', '?')} "
                    "(debug lines)")
    if prompt:
        text = " ".join(part for part in prompt[0].split() if part)
        done.append(f'asked "{text}" (answered {args.answer})')
    copies = [l.rstrip("\n") for l in lines if l.startswith("Copy File : ")]
    for folder, what in (("Patient", "the patient's files"), ("ImplantDB", "the reference database")):
        mine = [l for l in copies if f"{INSTALL}\\{folder}\\" in l]
        if mine:
            failed = sum(l.endswith(" : Failed") for l in mine)
            target = f"{INSTALL}\\Patient\\{make_demo_disc.PATIENT_ID}" if folder == "Patient" else \
                f"{INSTALL}\\ImplantDB"
            done.append(f"copied {what} to {target}: {len(mine)} files" + (f", {failed} failed" if failed else ""))
    programs = [(disc.root / "Setup" / "Setup.exe", "the disc's setup program"),
                (disc.root / "Tovi2009.exe", "the disc's viewer"),
                (harness.unixpath(INSTALL) / "Tovi2009.exe", "the installed viewer")]
    for exe, name in programs:
        for line in harness.started_command_lines(exe, wait=0.5):
            done.append(f"started {name}: {line}")
    if not any(d.startswith("started") for d in done):
        done.append("started no program")
    console = [l for l in run.stdout.splitlines() if l]
    if console:
        done.append("printed " + ", ".join(f'"{l}"' for l in console) + " (the scrambled SUID.ini was read)")
    return done


def main(argv):
    args = parse_arguments(argv)
    if args.check_arguments:
        return 0
    mode = MODES[args.mode]
    with tempfile.TemporaryDirectory(prefix="autorun-demo.", dir=os.environ.get("WINE_ENV_DIR")) as scratch:
        work = Path(scratch)
        watch = WindowWatch(work)
        try:
            run_demo(args, mode, work, watch)
        finally:
            watch.stop()
    return 0


def run_demo(args, mode, work, watch):
    """Builds the disc, sets up the machine, runs the launcher and tells what it did."""
    disc = make_demo_disc.build(harness.ROOT / "build" / "demo-disc", mode=mode)
    machine = harness.Machine(work)
    print(f"Demo disc: {disc.root.relative_to(harness.ROOT)} (in Wine {harness.winpath(disc.root)})")
    for line in disc_summary(disc):
        print("  " + line)
    if args.mode == "transfer":
        machine.install(version=make_demo_disc.VERSION)
        print(f"This computer: the viewer, version {'.'.join(map(str, make_demo_disc.VERSION))}, installed in "
              f"{INSTALL}")
    else:
        print("This computer: no viewer installed")

    debug = harness.DebugListener(work)
    print("autorun.exe started from the disc" +
          (" (the 64-bit twin of the shipped launcher, built from the same sources):" if harness.TWIN else ":"))
    clock = Clock()
    run = harness.Run(disc.exe, work)
    prompt = None
    try:
        if args.mode == "install":
            prompt = harness.answer_prompt(args.answer, work)
            clock.say("the install prompt appeared and was answered " + args.answer if prompt else
                      "no prompt appeared")
        if args.mode == "transfer":
            watch_transfer(run, watch, clock)
        rc = run.wait(180)
        clock.say(f"autorun.exe ended, exit code {rc}")
    finally:
        run.kill()
        debug.stop()
    print("What it did:")
    for line in account(args, disc, run, debug, prompt):
        print("  - " + line)
    machine.reset()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
