"""Reads the rounds of `scripts/test --repeat N` (build/repeat/<round>/*.xml, JUnit XML of CTest and pytest) and
lists every test that did not pass in every round it ran, with how often it failed and the first line of why.
Exits 1 when there is one, or when a round left no results (a Wine world that did not start)."""
import sys
import xml.etree.ElementTree as ET
from collections import defaultdict
from pathlib import Path


def outcomes(xml: Path):
    """(test name, outcome, first line of the reason) for each test case of one JUnit file."""
    for case in ET.parse(xml).getroot().iter("testcase"):
        name = f"{case.get('classname', '')}::{case.get('name', '')}".strip(":")
        verdict, reason = "passed", ""
        for tag in ("failure", "error", "skipped"):
            found = case.find(tag)
            if found is not None:
                verdict = "skipped" if tag == "skipped" else "failed"
                text = (found.get("message") or found.text or "").strip()
                reason = text.splitlines()[0][:160] if text else tag
                break
        yield f"{xml.stem.split('-', 1)[-1]}: {name}", verdict, reason


def main(rounds_dir: Path) -> int:
    rounds = sorted((p for p in rounds_dir.iterdir() if p.is_dir() and p.name.isdigit()), key=lambda p: int(p.name))
    runs = defaultdict(int)
    failures = defaultdict(list)
    empty = []
    for round_dir in rounds:
        files = sorted(round_dir.glob("*.xml"))
        if not files:
            empty.append(round_dir.name)
        for xml in files:
            try:
                cases = list(outcomes(xml))
            except ET.ParseError as e:
                failures[f"{xml.name} (unreadable)"].append((round_dir.name, str(e)))
                continue
            for name, verdict, reason in cases:
                if verdict == "skipped":
                    continue
                runs[name] += 1
                if verdict == "failed":
                    failures[name].append((round_dir.name, reason))
    print(f"== {len(rounds)} rounds, {len(runs)} tests")
    for name in sorted(failures, key=lambda n: (-len(failures[n]), n)):
        print(f"{len(failures[name])} of {runs.get(name, len(failures[name]))} failed: {name}")
        for round_name, reason in failures[name]:
            print(f"    round {round_name}: {reason}")
    for name in empty:
        print(f"round {name} left no results: its Wine world did not start")
    if not failures and not empty:
        print("every test passed in every round")
    return 1 if failures or empty else 0


if __name__ == "__main__":
    sys.exit(main(Path(sys.argv[1])))
