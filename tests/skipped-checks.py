#!/usr/bin/env python3
"""Says in one line which checks of a ctest run were skipped, and why.

Reads the JUnit file that `ctest --output-junit` wrote. A check skips when
what it compares against is missing (an encoder, a mount, a user to switch
to); under CI=true such a skip fails the run, since CI's machine has
everything the Makefile installs. Skips that follow from who runs the tests
or how they were built (root, sanitizers) are expected there and pass.
"""
import os
import re
import sys
import xml.etree.ElementTree as ET

# Reasons that hold on CI's own machine by design: it runs as root, its
# sanitizer build has no fault injector, and child-process bodies skip when
# run on their own.
EXPECTED_ON_CI = [
    r"root writes everywhere",
    r"fault injector",
    # A test body that another test runs in a child process of its own.
    r"^run by ",
]


def skip_reason(output):
    lines = output.splitlines()
    for i, line in enumerate(lines):
        if line.endswith(": Skipped"):
            reason = lines[i + 1].strip() if i + 1 < len(lines) else ""
            if reason.startswith("[  SKIPPED ]"):
                reason = ""
            return reason or "no reason given"
    return "no reason given"


def main():
    if len(sys.argv) != 2:
        print("usage: skipped-checks.py CTEST-JUNIT.xml", file=sys.stderr)
        return 2
    try:
        root = ET.parse(sys.argv[1]).getroot()
    except (OSError, ET.ParseError) as e:
        print(f"skipped-checks: cannot read {sys.argv[1]}: {e}", file=sys.stderr)
        return 2
    skipped = []
    for case in root.iter("testcase"):
        if case.find("skipped") is None:
            continue
        out = case.find("system-out")
        skipped.append((case.get("name"), skip_reason(out.text if out is not None and out.text else "")))
    if not skipped:
        print("Skipped checks: none")
        return 0
    print(f"Skipped checks: {len(skipped)}: " + "; ".join(f"{n} ({r})" for n, r in skipped))
    if os.environ.get("CI") == "true":
        unexpected = [n for n, r in skipped if not any(re.search(p, r) for p in EXPECTED_ON_CI)]
        if unexpected:
            print(f"CI: {len(unexpected)} check(s) skipped that this machine should run: " + ", ".join(unexpected))
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
