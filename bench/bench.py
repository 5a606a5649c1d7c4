"""The transfer benchmark: runs the real autorun.exe under Wine on generated discs and times it against a bare
CopyFileA loop and Wine's xcopy, round by round, in the Wine world the caller set up (bench/run sets up two: theme
off and theme on). One world per call writes a JSON file; --report prints the table of several.

The launcher logs its own phase times (AUTORUN_BENCH_LOG), so Wine's start-up stays out of its figures; the bare
loop (benchcopy.exe) times itself inside its process; xcopy is timed from its start to its exit by benchcopy.exe,
less the time of an xcopy of an empty folder in the same round. Every round makes its data anew and every run
copies into a new destination; the order of the tools turns round by round.
"""
import argparse
import json
import os
import platform
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "scenario"))
import harness  # noqa: E402

V = (1, 2, 3, 4)
BLOCK = bytes(range(256)) * 16  # 4 KB
LARGE_SIZE = 256 << 20
LARGE_COUNT = 4
DB_SHAPE = (10, 10, 50)  # makers x lines x files: 5,000 files in 100 folders, 111 folders with the two levels above
MEMORY_COUNTS = (1000, 20000)
MEMORY_RUNS = 1


class BenchError(RuntimeError):
    pass


def median(values):
    return statistics.median(values) if values else float("nan")


def write_flat(folder: Path, count: int, tag: str):
    """`count` files: `count - 1` small ones and the project file. The names carry the round's tag."""
    remove(folder)
    folder.mkdir(parents=True)
    for i in range(count - 1):
        (folder / f"{tag}_{i:05d}.dcm").write_bytes(BLOCK)
    (folder / "Default.npj").write_bytes(b"project " + tag.encode())


def write_tree(folder: Path, tag: str):
    remove(folder)
    makers, lines, files = DB_SHAPE
    for m in range(makers):
        for l in range(lines):
            leaf = folder / f"Maker{m:02d}" / f"Line{l:02d}"
            leaf.mkdir(parents=True)
            for f in range(files):
                (leaf / f"{tag}_{f:03d}.stl").write_bytes(BLOCK)


def write_large(folder: Path):
    remove(folder)
    folder.mkdir(parents=True)
    chunk = os.urandom(1 << 20)
    for i in range(LARGE_COUNT):
        with open(folder / f"volume{i}.raw", "wb") as f:
            for _ in range(LARGE_SIZE >> 20):
                f.write(chunk)


def remove(path: Path):
    if path.exists():
        subprocess.run(["chmod", "-R", "u+w", str(path)], check=False)
        shutil.rmtree(path)


def count_files(folder: Path) -> int:
    return sum(len(files) for _, _, files in os.walk(folder))


def wakeup_round_trip_us(n=5000) -> float:
    """Two processes passing a byte back and forth: the cost of waking a thread on the other processor, which every
    synchronous call between a Wine program and its server pays. On an idle virtual machine it can be several times
    what it is on a busy one, so it goes into the report beside the figures."""
    r1, w1 = os.pipe()
    r2, w2 = os.pipe()
    pid = os.fork()
    if pid == 0:
        for _ in range(n):
            os.read(r1, 1)
            os.write(w2, b"x")
        os._exit(0)
    start = time.perf_counter()
    for _ in range(n):
        os.write(w1, b"x")
        os.read(r2, 1)
    elapsed = time.perf_counter() - start
    os.waitpid(pid, 0)
    for fd in (r1, w1, r2, w2):
        os.close(fd)
    return elapsed / n * 1e6


def rotate(items, n):
    n %= len(items)
    return items[n:] + items[:n]


def timed(step):
    """Runs one timed step with nothing of an earlier step left to write back to the disk."""
    os.sync()
    return step()


class World:
    """One Wine world: the installed viewer, the discs, the baselines' tool."""

    def __init__(self, build: Path, tmp: Path, listener: bool):
        harness.BUILD = build
        harness.AUTORUN = build / "autorun.exe"
        harness.TOOLS = build / "tools"
        self.tool = build / "bench" / "benchcopy.exe"
        for needed in (harness.AUTORUN, harness.TOOLS / "stub.exe", self.tool):
            if not needed.exists():
                raise BenchError(f"{needed} is missing: build first")
        self.tmp = tmp
        self.machine = harness.Machine(tmp)
        self.install = self.machine.install(version=V)
        self.patient = self.install / "Patient"
        self.reference = self.install / "ImplantDB"
        self.out = harness.drive_c() / "bench"
        remove(self.out)
        self.out.mkdir()
        self.empty = tmp / "empty"
        self.empty.mkdir(exist_ok=True)
        self.debug = harness.DebugListener(tmp) if listener else None
        self.serial = 0
        self.discs = {}

    def close(self):
        if self.debug:
            self.debug.stop()
        remove(self.out)
        self.machine.reset()

    def disc(self, name) -> harness.Disc:
        if name not in self.discs:
            self.discs[name] = harness.Disc(self.tmp / name)
        return self.discs[name]

    def launcher(self, disc: harness.Disc, sid: str, timeout=1800) -> dict:
        """One run of the launcher on `disc` with patient ID `sid`, and the phase times it logged."""
        disc.suid(harness.suid_text(mode="DiscStudio", sid=sid, version=V))
        self.serial += 1
        log = self.tmp / f"phases-{self.serial}.log"
        log.unlink(missing_ok=True)
        run = harness.Run(disc.exe, self.tmp, env={"AUTORUN_BENCH_LOG": harness.winpath(log)})
        rc = run.wait(timeout)
        if rc != 0 or not log.exists():
            raise BenchError(f"launcher run {sid} ended with {rc}")
        values = {}
        for line in log.read_text().splitlines():
            name, _, value = line.partition(" ")
            values[name] = float(value)
        missing = {"count_begin", "count_end", "worker_start", "worker_done", "reference_begin", "reference_done",
                   "peak_working_set"} - set(values)
        if missing:
            raise BenchError(f"launcher run {sid}: no {sorted(missing)} in its log")
        files = values.get("progress_count", 0)
        return {
            # The transfer: counting the files, then the worker's loop with its progress messages.
            "transfer_ms": values["count_end"] - values["count_begin"] + values["worker_done"] - values["worker_start"],
            "reference_ms": values["reference_done"] - values["reference_begin"],
            "message_ms": values["progress_ms"] / files if files else float("nan"),
            "files": files,
            "peak_mb": values["peak_working_set"] / (1 << 20),
        }

    def benchcopy(self, *args, timeout=1800) -> float:
        out = subprocess.run(["wine", str(self.tool), *args], stdin=subprocess.DEVNULL, capture_output=True,
                             timeout=timeout)
        # The last line is the tool's; xcopy writes its own lines before it.
        lines = out.stdout.decode(errors="replace").strip().splitlines()
        fields = lines[-1].split() if lines else []
        if out.returncode != 0 or len(fields) != 3:
            raise BenchError(f"benchcopy {args[0]} failed: {out.stdout[-300:]!r} {out.stderr[-300:]!r}")
        if fields[2] != "0":
            raise BenchError(f"benchcopy {' '.join(args)}: {fields[2]} failed")
        return float(fields[0])

    def bare(self, mode, source: Path, destination: Path) -> float:
        return self.benchcopy(mode, harness.winpath(source), harness.winpath(destination))

    def xcopy(self, source: Path, destination: Path, *flags) -> float:
        return self.benchcopy("run", "xcopy", harness.winpath(source), harness.winpath(destination), "/I", "/Y", "/Q",
                              *flags)

    def xcopy_startup(self) -> float:
        target = self.out / "xcopy-empty"
        ms = self.xcopy(self.empty, target)
        remove(target)
        return ms


def check_copy(what: str, destination: Path, expected: int):
    found = count_files(destination)
    if found != expected:
        raise BenchError(f"{what}: {found} files in {destination}, {expected} expected")


def run_flat(world: World, count: int, rounds: int, baselines, results: dict):
    """First copy of `count` small files (launcher, bare loop, xcopy), then the same disc again with nothing changed
    (launcher, xcopy /D)."""
    disc = world.disc(f"disc-{count}")
    data = disc.root / "Data"
    first, again = results.setdefault(f"flat{count}", {}), results.setdefault(f"again{count}", {})
    for r in range(rounds):
        write_flat(data, count, f"R{r}")
        startup = world.xcopy_startup() if any(b.startswith("xcopy") for b in baselines) else 0.0
        sid = f"F{count}_{r}"
        flat, xdest = world.out / f"flat-{r}", world.out / f"xcopy-{r}"

        def launcher(case):
            m = world.launcher(disc, sid)
            if m["files"] != count:
                raise BenchError(f"{sid}: {m['files']} progress messages for {count} files")
            for key in ("message_ms", "peak_mb"):
                case.setdefault(key, []).append(m[key])
            return m["transfer_ms"]

        def bare():
            ms = world.bare("flat", data, flat)
            check_copy("bare loop", flat, count)
            return ms

        def xcopy():
            ms = world.xcopy(data, xdest) - startup
            check_copy("xcopy", xdest, count)
            return ms

        steps = {"launcher": lambda: launcher(first), "bare": bare, "xcopy": xcopy}
        for name in rotate([n for n in steps if n == "launcher" or n in baselines], r):
            first.setdefault(name, []).append(timed(steps[name]))
        check_copy("launcher", world.patient / sid, count)

        # xcopy /D goes over xcopy's own first copy, or else over the bare loop's: CopyFileA keeps the times too.
        steps = {"launcher": lambda: launcher(again),
                 "xcopy_d": lambda: world.xcopy(data, xdest if xdest.exists() else flat, "/D") - startup}
        for name in rotate([n for n in steps if n == "launcher" or n in baselines or "xcopy" in baselines], r):
            again.setdefault(name, []).append(timed(steps[name]))
        for p in (world.patient / sid, flat, xdest):
            remove(p)
        print(f"  {count} files, round {r + 1}: " + ", ".join(f"{k} {v[-1]:.0f} ms" for k, v in first.items()
                                                               if k not in ("message_ms", "peak_mb"))
              + "; again: " + ", ".join(f"{k} {v[-1]:.0f} ms" for k, v in again.items()
                                        if k not in ("message_ms", "peak_mb")), flush=True)
    remove(data)


def run_changed(world: World, count: int, rounds: int, results: dict):
    """A changed disc of a patient already on the machine: the same `count` names, other times (a new scan, a
    corrected export), so every file replaces its earlier copy. The baseline is a bare CopyFileA loop over an earlier
    copy of its own, overwriting in place."""
    disc = world.disc(f"disc-changed-{count}")
    data = disc.root / "Data"
    res = results.setdefault(f"changed{count}", {})
    earlier = time.time() - 86400
    for r in range(rounds):
        write_flat(data, count, f"C{r}")
        sid = f"C{count}_{r}"
        patient, bdest = world.patient / sid, world.out / f"changed-{r}"
        for dest in (patient, bdest):
            remove(dest)
            shutil.copytree(data, dest)
            for p in dest.iterdir():
                os.utime(p, (earlier, earlier))

        def launcher():
            m = world.launcher(disc, sid)
            if m["files"] != count:
                raise BenchError(f"{sid}: {m['files']} progress messages for {count} files")
            # The copying alone: the transfer less the time its progress messages took.
            res.setdefault("copying", []).append(m["transfer_ms"] - m["message_ms"] * m["files"])
            return m["transfer_ms"]

        steps = {"launcher": launcher, "overwrite": lambda: world.bare("flat", data, bdest)}
        for name in rotate(list(steps), r):
            res.setdefault(name, []).append(timed(steps[name]))
        for dest in (patient, bdest):
            # Every file replaced, and nothing else left in the folder.
            check_copy(f"{sid} into {dest.name}", dest, count)
            stale = [p.name for p in dest.iterdir() if p.stat().st_mtime < earlier + 1]
            if stale:
                raise BenchError(f"{sid}: {len(stale)} files not replaced in {dest}, {stale[:3]}")
            remove(dest)
        print(f"  changed disc, {count} files, round {r + 1}: "
              + ", ".join(f"{k} {v[-1]:.0f} ms" for k, v in res.items()), flush=True)
    remove(data)


def run_reference(world: World, rounds: int, baselines, results: dict):
    """The reference database, 5,000 files in nested folders, copied into an empty ImplantDB folder."""
    disc = world.disc("disc-reference")
    disc.data({"Default.npj": b"project"})
    tree = disc.root / "ImplantDB"
    total = DB_SHAPE[0] * DB_SHAPE[1] * DB_SHAPE[2]
    res = results.setdefault("reference", {})
    for r in range(rounds):
        write_tree(tree, f"R{r}")
        startup = world.xcopy_startup() if "xcopy" in baselines else 0.0
        bdest, xdest = world.out / f"tree-{r}", world.out / f"xtree-{r}"

        def launcher():
            remove(world.reference)
            world.reference.mkdir()
            ms = world.launcher(disc, f"T{r}")["reference_ms"]
            check_copy("launcher", world.reference, total)
            return ms

        def bare():
            ms = world.bare("tree", tree, bdest)
            check_copy("bare tree walk", bdest, total)
            return ms

        def xcopy():
            ms = world.xcopy(tree, xdest, "/E") - startup
            check_copy("xcopy /E", xdest, total)
            return ms

        steps = {"launcher": launcher, "bare": bare, "xcopy": xcopy}
        for name in rotate([n for n in steps if n == "launcher" or n in baselines], r):
            res.setdefault(name, []).append(timed(steps[name]))
        for p in (world.patient / f"T{r}", bdest, xdest):
            remove(p)
        print(f"  reference, round {r + 1}: " + ", ".join(f"{k} {v[-1]:.0f} ms" for k, v in res.items()), flush=True)
    remove(tree)
    remove(world.reference)
    world.reference.mkdir()


def run_large(world: World, rounds: int, baselines, results: dict):
    """4 files of 256 MB; each run starts with nothing waiting to be written back."""
    disc = world.disc("disc-large")
    data = disc.root / "Data"
    write_large(data)
    res = results.setdefault("large", {})
    for r in range(rounds):
        startup = world.xcopy_startup() if "xcopy" in baselines else 0.0
        sid = f"L{r}"
        bdest, xdest = world.out / f"large-{r}", world.out / f"xlarge-{r}"
        steps = {
            "launcher": (lambda: world.launcher(disc, sid)["transfer_ms"], world.patient / sid),
            "bare": (lambda: world.bare("flat", data, bdest), bdest),
            "xcopy": (lambda: world.xcopy(data, xdest) - startup, xdest),
        }
        for name in rotate([n for n in steps if n == "launcher" or n in baselines], r):
            run, dest = steps[name]
            res.setdefault(name, []).append(timed(run))
            check_copy(name, dest, LARGE_COUNT)
            remove(dest)
        print(f"  large, round {r + 1}: " + ", ".join(f"{k} {v[-1]:.0f} ms" for k, v in res.items()), flush=True)
    remove(data)


def run_memory(world: World, results: dict):
    """Peak working set of a launcher whose destination already holds the disc's files: its listing of the
    destination is then as large as it gets."""
    res = results.setdefault("memory", {})
    for count in MEMORY_COUNTS:
        disc = world.disc(f"disc-mem{count}")
        data = disc.root / "Data"
        write_flat(data, count, "M")
        sid = f"M{count}"
        dest = world.patient / sid
        remove(dest)
        shutil.copytree(data, dest, copy_function=shutil.copy2)
        for _ in range(MEMORY_RUNS):
            res.setdefault(str(count), []).append(world.launcher(disc, sid)["peak_mb"])
        remove(dest)
        remove(data)
        print(f"  memory, {count} files: peak {median(res[str(count)]):.1f} MB", flush=True)


PROBE_VARIANTS = [
    # (variant, what it measures)
    ("full", "the progress message as the transfer sends it"),
    ("inthread", "its handler alone, called on the window's own thread"),
    ("empty", "a message the window leaves to the dialog manager"),
    ("plain", "the switch of threads alone: a plain window that answers at once"),
]
PROBE_COUNT = 2000


def run_probe(world: World, rounds: int, results: dict):
    """The progress message taken apart, in the launcher's own window (msgprobe.exe), variants alternating."""
    res = results.setdefault("probe", {})
    tool = world.tool.parent / "msgprobe.exe"
    for r in range(rounds):
        for variant, _ in rotate(PROBE_VARIANTS, r):
            out = subprocess.run(["wine", str(tool), variant, str(PROBE_COUNT)], stdin=subprocess.DEVNULL,
                                 capture_output=True, timeout=300)
            fields = out.stdout.decode(errors="replace").split()
            if out.returncode != 0 or len(fields) != 2 or fields[0] != variant:
                raise BenchError(f"msgprobe {variant} failed: {out.stdout[-200:]!r} {out.stderr[-200:]!r}")
            res.setdefault(variant, []).append(float(fields[1]))
    print("  progress message: " + ", ".join(f"{v} {median(ms):.3f} ms" for v, ms in res.items()), flush=True)


# --- the report -------------------------------------------------------------------------------------------------

ROWS = [
    # (case, label, baseline, goal)
    ("flat1000", "first copy, 1,000 x 4 KB", "bare", None),
    ("flat1000", "", "xcopy", None),
    ("flat5000", "first copy, 5,000 x 4 KB", "bare", 1.25),
    ("flat5000", "", "xcopy", None),
    ("large", "first copy, 4 x 256 MB", "bare", 1.05),
    ("large", "", "xcopy", None),
    ("again1000", "same disc again, 1,000", "xcopy_d", 1.5),
    ("again5000", "same disc again, 5,000", "xcopy_d", 1.5),
    ("changed1000", "changed disc, 1,000", "overwrite", 1.3),
    ("changed5000", "changed disc, 5,000", "overwrite", 1.3),
    ("changed1000", "changed disc, 1,000, copying alone (its progress messages taken out)", "overwrite", None,
     "copying"),
    ("changed5000", "changed disc, 5,000, copying alone", "overwrite", None, "copying"),
    ("reference", "reference copy, 5,000 in 111 folders", "bare", 1.05),
    ("reference", "", "xcopy", None),
]
BASELINE_NAMES = {"bare": "bare CopyFileA", "xcopy": "xcopy", "xcopy_d": "xcopy /D",
                  "overwrite": "CopyFileA over the files"}


def same_round_ratios(case: dict, base: str, who="launcher"):
    return [a / b for a, b in zip(case.get(who, []), case.get(base, [])) if b > 0]


def describe_build(build: Path) -> str:
    """The launcher measured, and whether it is the shipped 32-bit one or the 64-bit twin (from its PE header)."""
    exe = build / "autorun.exe"
    try:
        head = exe.read_bytes()[:4096]
        pe = int.from_bytes(head[0x3C:0x40], "little")
        machine = int.from_bytes(head[pe + 4:pe + 6], "little")
    except (OSError, ValueError):
        return str(exe)
    kind = {0x14C: "the shipped 32-bit launcher", 0x8664: "the 64-bit twin"}.get(machine, f"machine {machine:#x}")
    try:
        shown = exe.relative_to(ROOT)
    except ValueError:
        shown = exe
    return f"{shown} ({kind})"


def report(paths):
    worlds = [json.loads(Path(p).read_text()) for p in paths]
    for w in worlds:
        print(f"{w['theme']}: {w['date']}, {w['machine']}; {w['rounds']} rounds, {w['seconds']} s; load "
              f"{w['load']}, wake-up round trip {w['wakeup_us']:.0f} us; {w.get('pinned') or 'not pinned'}; "
              f"debug listener {'on' if w['listener'] else 'off'}; files on {w.get('storage') or 'disk'}; "
              f"measured {w.get('build') or 'build/win32/autorun.exe'}")
    print()
    head = ["case", "baseline"]
    for w in worlds:
        head += [f"launcher ms ({w['theme']})", "baseline ms", "ratio (range)"]
    head.append("goal")
    print("| " + " | ".join(head) + " |")
    print("|" + "---|" * len(head))
    for key, label, base, goal, *who in ROWS:
        who = who[0] if who else "launcher"
        if not any(base in w["results"].get(key, {}) for w in worlds):
            continue
        cells = [label, BASELINE_NAMES[base]]
        for w in worlds:
            case = w["results"].get(key, {})
            rs = same_round_ratios(case, base, who)
            if not rs:
                cells += ["-", "-", "-"]
                continue
            cells += [f"{median(case[who]):.0f}", f"{median(case[base]):.0f}",
                      f"{median(rs):.2f}x ({min(rs):.2f}-{max(rs):.2f})"]
        cells.append(f"<= {goal}x" if goal else "")
        print("| " + " | ".join(cells) + " |")
    for key, label in (("flat5000", "first copy"), ("again5000", "same disc again")):
        cells = [f"one progress message, 5,000 files, {label}", ""]
        for w in worlds:
            ms = w["results"].get(key, {}).get("message_ms", [])
            cells += [f"{median(ms):.3f} ms" if ms else "-", "", ""]
        print("| " + " | ".join(cells + ["<= 0.25 ms"]) + " |")
    for variant, what in PROBE_VARIANTS:
        cells = [f"message probe: {what}", ""]
        for w in worlds:
            ms = w["results"].get("probe", {}).get(variant, [])
            cells += [f"{median(ms):.3f} ms" if ms else "-", "", ""]
        print("| " + " | ".join(cells + [""]) + " |")
    for count in MEMORY_COUNTS:
        cells = [f"peak working set, {count:,} files", ""]
        for w in worlds:
            mb = w["results"].get("memory", {}).get(str(count), [])
            cells += [f"{median(mb):.1f} MB" if mb else "-", "", ""]
        print("| " + " | ".join(cells + ["<= 32 MB"]) + " |")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--build", type=Path, default=ROOT / "build" / os.environ.get("AUTORUN_WINE_BUILD", "win32"))
    ap.add_argument("--tmp", type=Path, help="work folder (default: the Wine world's folder)")
    ap.add_argument("--theme", default="theme off", help="the name of this world in the report")
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--cases", default="flat1000,flat5000,changed1000,changed5000,reference,memory,probe")
    ap.add_argument("--baselines", default="bare,xcopy")
    ap.add_argument("--large", action="store_true", help="add the 4 x 256 MB case")
    ap.add_argument("--listener", action="store_true", help="run a debug-output listener, as the tests do")
    ap.add_argument("--pinned", default="", help="how the world was pinned, for the report")
    ap.add_argument("--storage", default="", help="where the world's files live, for the report")
    ap.add_argument("--json", type=Path)
    ap.add_argument("--report", nargs="+", type=Path, help="print the table of these JSON files and stop")
    args = ap.parse_args()
    if args.report:
        report(args.report)
        return
    cases = args.cases.split(",") + (["large"] if args.large else [])
    baselines = args.baselines.split(",")
    tmp = args.tmp or Path(os.environ["WINE_ENV_DIR"]) / "bench"
    tmp.mkdir(parents=True, exist_ok=True)
    wakeup = wakeup_round_trip_us()
    load = os.getloadavg()[0]
    world = World(args.build, tmp, listener=args.listener)
    results = {}
    started = time.time()
    try:
        for case in cases:
            if case.startswith("flat"):
                run_flat(world, int(case[4:]), args.rounds, baselines, results)
            elif case.startswith("changed"):
                run_changed(world, int(case[7:]), args.rounds, results)
            elif case == "reference":
                run_reference(world, args.rounds, baselines, results)
            elif case == "large":
                run_large(world, args.rounds, baselines, results)
            elif case == "memory":
                run_memory(world, results)
            elif case == "probe":
                run_probe(world, args.rounds, results)
            else:
                raise BenchError(f"unknown case {case}")
    finally:
        world.close()
    out = {"theme": args.theme, "date": time.strftime("%Y-%m-%d %H:%M"), "rounds": args.rounds,
           "machine": f"{platform.node()}, {os.cpu_count()} cores, Linux {platform.release()}",
           "load": f"{load:.1f}", "wakeup_us": wakeup, "listener": args.listener, "pinned": args.pinned,
           "storage": args.storage, "build": describe_build(args.build),
           "seconds": round(time.time() - started), "results": results}
    if args.json:
        args.json.write_text(json.dumps(out, indent=1))
    print(f"{args.theme}: done in {out['seconds']} s", flush=True)


if __name__ == "__main__":
    main()
