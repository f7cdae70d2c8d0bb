#!/usr/bin/env python3
"""Puts tagwright-cli check beside the ICC's reference validator, profile by profile.

    compare_validator.py TAGWRIGHT_CLI VALIDATOR PATH...

For every .icc/.icm file under the paths: our findings (severity and code) and the
validator's Warning/NonCompliant/Critical lines.  A profile on which we find an error and
the validator finds nothing critical or non-compliant is marked "ERROR ONLY OURS"; one on
which the validator reports a fault and we find nothing, "MISSED".  The last line counts the
first kind among the profiles the validator calls valid or only warns about.  The validator
is a checking tool: nothing in the project needs it.
"""
import json
import os
import subprocess
import sys


def profiles(paths):
    for path in paths:
        if os.path.isdir(path):
            for root, _, names in os.walk(path):
                for name in sorted(names):
                    if name.lower().endswith((".icc", ".icm")):
                        yield os.path.join(root, name)
        else:
            yield path


def validator_lines(validator, path):
    out = subprocess.run([validator, "-v", path], capture_output=True, text=True,
                         errors="replace").stdout
    report = out[out.find("Validation Report"):] if "Validation Report" in out else out
    lines = []
    for line in report.splitlines():
        line = line.strip()
        if line.startswith(("Warning!", "NonCompliant!", "Error!", "Critical!")):
            lines.append(line)
        elif "Critical Error" in line or "Unable to parse" in out and not lines:
            lines.append(line)
    return sorted(set(lines))


def main():
    cli, validator, paths = sys.argv[1], sys.argv[2], sys.argv[3:]
    flagged = 0
    passed = false_errors = 0  # profiles the validator calls valid or only warns about
    for path in profiles(paths):
        ours = json.loads(subprocess.run([cli, "check", "--json", path], capture_output=True,
                                         text=True).stdout or '{"profiles": []}')
        findings = ours["profiles"][0]["findings"] if ours["profiles"] else []
        theirs = validator_lines(validator, path)
        serious = [l for l in theirs if not l.startswith("Warning!")]
        errors = [f for f in findings if f["severity"] == "error"]
        mark = ""
        if errors and not serious:
            mark = "ERROR ONLY OURS"
        elif theirs and not [f for f in findings if f["severity"] != "note"]:
            mark = "MISSED"
        flagged += bool(mark)
        passed += not serious
        false_errors += bool(errors and not serious)
        print(f"{path} {mark}")
        for f in findings:
            print(f"  ours: {f['severity']} {f['code']} {f['tag'] or 'header'}")
        for line in theirs:
            print(f"  validator: {line}")
    print(f"{flagged} profiles flagged")
    print(f"errors on {false_errors} of {passed} profiles the validator calls valid or only warns about")


if __name__ == "__main__":
    main()
