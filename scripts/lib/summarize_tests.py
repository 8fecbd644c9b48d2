#!/usr/bin/env python3
"""Counts test results for scripts/test.

Each CTest entry is usually a GoogleTest executable that wrote its own XML
report; its test cases are counted one by one. An entry without a report (a
crash before the report was written, a time-out, or a test that is not a
GoogleTest program) counts as one test, passed or failed as CTest saw it. A
group whose CTest report is missing, unreadable or empty counts as one failure.
Usage: summarize_tests.py [--failure TEXT]... LABEL CTEST_JUNIT GTEST_XML_DIR [...]
(--failure counts one failure that happened outside CTest, such as a failed build.)
Prints the failing names and ends with the line "N passed, N failed".
"""
import os
import sys
import xml.etree.ElementTree as ET


def gtest_counts(path):
    passed, failed, names = 0, 0, []
    root = ET.parse(path).getroot()
    for case in root.iter("testcase"):
        name = f'{case.get("classname")}.{case.get("name")}'
        skipped = case.get("status") == "notrun" or case.get("result") in ("skipped", "suppressed")
        if case.find("failure") is not None or skipped:
            failed += 1
            names.append(name + (" (skipped: a test that cannot run fails)" if skipped else ""))
        else:
            passed += 1
    return passed, failed, names


def main(argv):
    total_passed, total_failed, failures = 0, 0, []
    while argv and argv[0] == "--failure":
        total_failed += 1
        failures.append(argv[1])
        argv = argv[2:]
    for i in range(0, len(argv), 3):
        label, junit, xml_dir = argv[i:i + 3]
        if not os.path.exists(junit):
            total_failed += 1
            failures.append(f"{label}: no CTest report (the build or CTest itself failed)")
            continue
        try:
            cases = list(ET.parse(junit).getroot().iter("testcase"))
        except ET.ParseError:
            cases = None
        if not cases:
            # A run that found no tests (a wrong label, an empty build) must
            # not pass as "0 failed".
            total_failed += 1
            failures.append(f"{label}: the CTest report lists no tests")
            continue
        for case in cases:
            name = case.get("name")
            ctest_failed = case.get("status") not in ("run", "passed") or case.find("failure") is not None
            report = os.path.join(xml_dir, name + ".xml")
            p, f, names = (0, 0, [])
            if os.path.exists(report):
                try:
                    p, f, names = gtest_counts(report)
                except ET.ParseError:
                    p, f, names = 0, 0, []
            total_passed += p
            total_failed += f
            failures += [f"{label}: {n}" for n in names]
            if ctest_failed and f == 0:
                total_failed += 1
                failures.append(f"{label}: {name} (failed as a whole: crash, time-out or non-zero exit)")
            elif not ctest_failed and p + f == 0:
                total_passed += 1
    for line in failures:
        print(f"FAILED {line}")
    print(f"{total_passed} passed, {total_failed} failed")
    return 0 if total_failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
