#!/usr/bin/env python3
"""Reads the JUnit file that ctest --output-junit wrote: prints one line
"PASSED FAILED SKIPPED", then how many tests ran, each test that failed, each
that did not run with its reason, and the five that took longest (where a run's
time goes). Every count comes from this file alone.

usage: ctest-results.py JUNIT_FILE

ctest's own reason for a skip is only the rule that matched ("SKIP_RETURN_CODE=77",
"SKIP_REGULAR_EXPRESSION_MATCHED"); the test's words are in its output: GoogleTest
writes the GTEST_SKIP() message after a "file:line: Skipped" line, and the scripts
that exit with status 77 print a line holding "SKIPPED" with their reason.
"""
import sys
import xml.etree.ElementTree as ElementTree


def gtest_skip_message(lines):
    """The message under GoogleTest's "Skipped" line, up to its summary."""
    for i, line in enumerate(lines):
        if line.endswith(": Skipped"):
            message = []
            for following in lines[i + 1:]:
                if following.startswith("[  SKIPPED ]"):
                    break
                if following.strip():
                    message.append(following.strip())
            return " ".join(message)
    return ""


def skip_reason(case):
    skipped = case.find("skipped")
    rule = skipped.get("message", "") if skipped is not None else ""
    if case.get("status") == "disabled":
        return "disabled"
    output = case.findtext("system-out") or ""
    lines = output.splitlines()
    words = gtest_skip_message(lines)
    if not words:
        said = [line.strip() for line in lines if "SKIPPED" in line and not line.startswith("[")]
        words = said[-1] if said else ""
    if not words:
        nonempty = [line.strip() for line in lines if line.strip()]
        words = nonempty[-1] if nonempty else ""
    return "%s: %s" % (rule, words) if rule and words else rule or words


def main():
    suite = ElementTree.parse(sys.argv[1]).getroot()
    passed, failed, skipped, times = [], [], [], []
    for case in suite.iter("testcase"):
        name = case.get("name")
        times.append((float(case.get("time") or 0), name))
        status = case.get("status")
        if status == "run":
            passed.append(name)
        elif status in ("notrun", "disabled") or case.find("skipped") is not None:
            skipped.append((name, skip_reason(case)))
        else:
            failed.append(name)
    print(len(passed), len(failed), len(skipped))
    print("  ran %d tests: %d passed, %d failed" % (len(passed) + len(failed), len(passed), len(failed)))
    for name in failed:
        print("  FAILED", name)
    for name, reason in skipped:
        print("  SKIPPED %s (%s)" % (name, reason or "no reason given"))
    slowest = sorted(times, reverse=True)[:5]
    print("  slowest: " + ", ".join("%s %.0f s" % (name, seconds) for seconds, name in slowest))


if __name__ == "__main__":
    main()
