"""Lists every test a ctest JUnit report marks as skipped, with the reason the test gave.

Usage: list-skipped.py REPORT.xml   (exit status 1 when any test was skipped)
"""
import sys
import xml.etree.ElementTree as ElementTree


def reason_of(output):
    """The message GoogleTest prints after "Skipped", or the last line of the output."""
    lines = [line.strip() for line in (output or "").splitlines() if line.strip()]
    for i, line in enumerate(lines):
        if line.endswith("Skipped") and i + 1 < len(lines):
            return lines[i + 1]
    return lines[-1] if lines else "(no reason given)"


def main(path):
    skipped = []
    for case in ElementTree.parse(path).getroot().iter("testcase"):
        if case.find("skipped") is not None:
            skipped.append((case.get("name"), reason_of(case.findtext("system-out"))))
    for name, reason in skipped:
        print(f"skipped: {name}: {reason}")
    print(f"{len(skipped)} test(s) skipped")
    return 1 if skipped else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
