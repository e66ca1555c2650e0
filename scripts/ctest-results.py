#!/usr/bin/env python3
"""Reads the JUnit file that ctest --output-junit wrote: prints one line
"PASSED FAILED SKIPPED", then each test that failed or did not run, with ctest's reason.

usage: ctest-results.py JUNIT_FILE
"""
import sys
import xml.etree.ElementTree as ElementTree


def main():
    suite = ElementTree.parse(sys.argv[1]).getroot()
    passed, failed, skipped = [], [], []
    for case in suite.iter("testcase"):
        name = case.get("name")
        status = case.get("status")
        if status == "run":
            passed.append(name)
        elif status == "notrun" or case.find("skipped") is not None:
            reason = case.find("skipped")
            skipped.append((name, reason.get("message", "") if reason is not None else ""))
        else:
            failed.append(name)
    print(len(passed), len(failed), len(skipped))
    for name in failed:
        print("  FAILED", name)
    for name, reason in skipped:
        print("  SKIPPED", name, "(%s)" % reason if reason else "")


if __name__ == "__main__":
    main()
