#!/usr/bin/env python3
"""tagwright-cli over copies of every profile under /usr/share/color, with bad files among
them: exit codes, the messages for the bad files, nothing but the descriptions changed.

Leaves OUT/set(_v4) and OUT/replace with a manifest.txt each, for the Little CMS checker
(tests/checker), which then confirms the new descriptions, every other tag byte for byte,
the size field and the profile ID.  With --checker it runs the checker itself.

usage: cli_proof.py [--checker PATH] OUT CLI-COMMAND...
(the command may be several words: the Wine runner, its prefix and the .exe)
"""
import json
import os
import shutil
import stat
import struct
import subprocess
import sys
import threading
import time

TEXT = "Renamed by tagwright-cli"
OLD, NEW = "RGB", "RGB (edited)"
failures = []


def fail(message):
    failures.append(message)
    print("FAIL:", message)


def run(cli, args):
    env = dict(os.environ, LANG="en_US.UTF-8", LC_ALL="")
    done = subprocess.run(cli + args, capture_output=True, env=env)
    # Wine's console ends lines with CR LF.
    out = done.stdout.decode("utf-8").replace("\r\n", "\n")
    err = done.stderr.decode("utf-8", "replace").replace("\r\n", "\n").replace("\\", "/")
    return done.returncode, out, err


def corpus():
    """The profiles the packages install (not what else may lie in those folders)."""
    found = []
    for folder in ("argyll/ref", "icc", "icc/colord"):
        root = os.path.join("/usr/share/color", folder)
        for name in os.listdir(root) if os.path.isdir(root) else []:
            path = os.path.join(root, name)
            if name.lower().endswith((".icc", ".icm")) and os.path.isfile(path):
                found.append(path)
    return sorted(found)


def copy_corpus(folder, sources):
    """Flat copies, version 4 profiles in FOLDER_v4; returns {copy: original}."""
    copies = {}
    for kind in ("", "_v4"):
        os.makedirs(folder + kind, exist_ok=True)
    for source in sources:
        with open(source, "rb") as f:
            version = f.read(9)[8:9]
        name = source[len("/usr/share/color/"):].replace("/", "_")
        copy = os.path.join(folder + ("_v4" if version and version[0] >= 4 else ""), name)
        shutil.copyfile(source, copy)
        copies[copy] = source
    return copies


def bad_files(folder, good):
    """Damaged, truncated, empty, non-profile, read-only and missing files, with the
    words their message must hold."""
    os.makedirs(folder, exist_ok=True)
    with open(good, "rb") as f:
        profile = f.read()
    bad = {}
    damaged = bytearray(profile)
    damaged[128:132] = b"\xff\xff\xff\xff"  # an absurd tag count
    for name, data, words in (("damaged.icc", bytes(damaged), "not a profile"),
                              ("truncated.icc", profile[:200], "not a profile"),
                              ("empty.icm", b"", "not a profile"),
                              ("notes.icc", b"not a colour profile\n" * 20, "not a profile"),
                              ("readonly.icc", profile, "read-only")):
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(data)
        bad[path] = words
    os.chmod(os.path.join(folder, "readonly.icc"), stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
    # Two names of one file: a new file would split them.
    linked = os.path.join(folder, "linked.icc")
    shutil.copyfile(good, linked)
    os.link(linked, os.path.join(folder, "linked-twin.icc"))
    bad[linked] = bad[os.path.join(folder, "linked-twin.icc")] = "hard links"
    bad[os.path.join(folder, "missing.icc")] = ""
    return bad


def contents(paths):
    result = {}
    for path in paths:
        try:
            with open(path, "rb") as f:
                result[path] = f.read()
        except FileNotFoundError:
            result[path] = None
    return result


def check_bad(rc, err, bad, before, what):
    if rc != 1:
        fail(f"{what}: exit code {rc}, not 1")
    lines = [line for line in err.splitlines() if line]
    for path, words in bad.items():
        mine = [line for line in lines if line.startswith(path + ": ")]
        if len(mine) != 1 or words not in mine[0]:
            fail(f"{what}: message for {path}: {mine}")
    if len(lines) != len(bad):
        fail(f"{what}: {len(lines)} messages for {len(bad)} bad files: {lines}")
    if contents(bad) != before:
        fail(f"{what}: a bad file was changed")


def shown(cli, paths):
    rc, out, err = run(cli, ["show", "--json", "--all-languages"] + paths)
    if rc != 0:
        fail(f"show: exit code {rc}: {err}")
        return {}
    return {p["path"]: p for p in json.loads(out)["profiles"]}


def whole(data):
    return data is not None and len(data) > 128 and struct.unpack(">I", data[:4])[0] == len(data)


def interrupted(cli, source):
    """Windows: Ctrl+C in the middle of a set ends the run between two saves: the files
    reported are the files changed, and no temporary file is left.  A run killed from
    outside, at any moment, leaves every profile under its own name and complete, at most
    one file changed but not reported, and at most one temporary file: a complete profile
    or, when the kill fell between its creation and its deletion mark, an empty file."""
    os.makedirs("interrupted")
    paths = [shutil.copyfile(source, f"interrupted/{i}.icc") for i in range(1500)]
    # (signal, files reported before it, then a pause in seconds)
    stops = [("INT", 1, 0), ("KILL", 1, 0), ("KILL", 3, 0.002), ("KILL", 10, 0.005),
             ("KILL", 40, 0.001), ("KILL", 90, 0.007), ("KILL", 150, 0.003), ("KILL", 250, 0)]
    for n, (signal, lines, pause) in enumerate(stops):
        # Named for this run alone, so that the signal reaches no other run's process.
        text = f"Stopped by proof {os.getpid()} at {n}"
        before = contents(paths)
        run = subprocess.Popen(cli + ["set", text] + paths, stdout=subprocess.PIPE)
        reported = sum(1 for _ in range(lines) if run.stdout.readline())
        time.sleep(pause)
        # The Windows process itself, not the runner: Wine shows a 32-bit one by its Unix path.
        process = rf"^([A-Z]:|/).*tagwright-cli\.exe set {text}"
        subprocess.run(["pkill", "-" + signal, "-f", process])
        # A run that does not end is a failure of its own, not a test that never ends.
        hung = []
        watchdog = threading.Timer(120, lambda: hung.append(
            subprocess.run(["pkill", "-KILL", "-f", process])))
        watchdog.start()
        reported += run.stdout.read().count(b"\n")
        run.wait()
        watchdog.cancel()
        if hung:
            fail(f"{signal} after {lines}: the run had not ended 120 s after the signal")
        if reported < lines:
            fail(f"{signal} after {lines}: the run ended by itself after {reported} reports")
        after = contents(paths)
        broken = [p for p in paths if not whole(after[p])]
        changed = sum(after[p] != before[p] for p in paths)
        left = [os.path.join("interrupted", n) for n in os.listdir("interrupted") if not n.endswith(".icc")]
        kept = all(b == b"" or whole(b) for b in contents(left).values())
        unreported = changed - reported
        if broken or changed == len(paths) or (signal == "INT" and (unreported or left)) or \
                not (0 <= unreported <= 1 and len(left) <= 1 and kept):
            fail(f"{signal} after {lines}: {reported} reported, {changed} of {len(paths)} changed, "
                 f"missing or broken {broken[:3]}, left {left} sizes {[len(b) for b in contents(left).values()]}")
        for name in left:
            os.remove(name)


def manifest(folder, lines):
    with open(os.path.join(folder, "manifest.txt"), "w") as f:
        f.writelines(lines)


def profile_with(desc):
    """A version 4 monitor profile whose one tag is the description `desc`."""
    size = 144 + len(desc) + (-len(desc) % 4)
    header = struct.pack(">I4sBB2x4s4s4s12x4s", size, b"none", 4, 0x30, b"mntr", b"RGB ", b"XYZ ",
                         b"acsp").ljust(128, b"\0")
    return (header + struct.pack(">I4sII", 1, b"desc", 144, len(desc)) + desc).ljust(size, b"\0")


def localized(records):
    """An 'mluc' tag of (language-country, text) records, texts after the table."""
    table, texts = [], []
    at = 16 + 12 * len(records)
    for name, text in records:
        data = text.encode("utf-16-be")
        table.append(name.replace("-", "").encode() + struct.pack(">II", len(data), at))
        texts.append(data)
        at += len(data)
    return b"mluc\0\0\0\0" + struct.pack(">II", len(records), 12) + b"".join(table + texts)


def shown_texts(cli):
    """What show gives of a description: a record's closing zero is not part of its text (nor
    of what replace edits), the record shown is chosen from the whole table of a tag too large
    to read whole, and a tag of a type that holds no text is no description."""
    os.makedirs("texts", exist_ok=True)
    many = [("en-AA", "title")] * 90000 + [("en-US", "English")]
    cases = {"zero.icc": (localized([("de-DE", "Bildschirm"), ("en-US", "sRGB built-in\0")]),
                          "sRGB built-in", 2),
             "large.icc": (localized(many), "English", None),
             "curve.icc": (b"curv" + bytes(8), None, None)}
    for name, (desc, description, languages) in cases.items():
        path = os.path.join("texts", name)
        with open(path, "wb") as f:
            f.write(profile_with(desc))
        rc, out, err = run(cli, ["show", "--json", "--all-languages", path])
        if description is None:
            if rc != 1 or "not a profile" not in err:
                fail(f"show {name}: exit code {rc}, {err!r}")
            continue
        got = json.loads(out)["profiles"][0] if rc == 0 else {}
        listed = got.get("languages", {})
        if got.get("description") != description or (languages and len(listed) != languages) or \
                "\0" in "".join(listed.values()):
            fail(f"show {name}: exit code {rc}, {got.get('description')!r}, {len(listed)} records")
        if languages is None and not 0 < got.get("more_languages", 0) < len(many):
            fail(f"show {name}: {got.get('more_languages')} records not listed")
    # ...nor of the text replace edits.
    rc, _, err = run(cli, ["replace", "built-in", "own", os.path.join("texts", "zero.icc")])
    rc2, out, _ = run(cli, ["show", "--json", os.path.join("texts", "zero.icc")])
    if rc != 0 or rc2 != 0 or json.loads(out)["profiles"][0].get("description") != "sRGB own":
        fail(f"replace in a record that ends with a zero: exit code {rc}, {err!r}")


def gamut_volumes(cli):
    """gamut: the text, the JSON's keys, --compare with a reference and a profile in the order
    given, a gray profile's reason and a missing file's error."""
    os.makedirs("gamut", exist_ok=True)
    for name, source in (("srgb.icc", "icc/colord/sRGB.icc"), ("adobe.icc", "icc/colord/AdobeRGB1998.icc"),
                         ("gray.icc", "icc/Gray.icc")):
        shutil.copyfile(os.path.join("/usr/share/color", source), os.path.join("gamut", name))
    srgb, adobe, gray, missing = ("gamut/" + n for n in ("srgb.icc", "adobe.icc", "gray.icc", "missing.icc"))
    names = ["sRGB", "Adobe RGB", "Display P3", "Rec. 2020"]
    rc, out, err = run(cli, ["gamut", srgb])
    lines = out.splitlines()
    if rc != 0 or len(lines) != 5 or not lines[0].startswith(srgb + ": volume ") or \
            [line.split("  ")[1] for line in lines[1:]] != names or \
            float(lines[1].split("coverage")[1].split("%")[0]) < 99:
        fail(f"gamut: exit code {rc}, {out!r} {err!r}")
    rc, out, err = run(cli, ["gamut", "--json", "--compare", "p3", "--compare", adobe, srgb, gray, missing])
    entries = json.loads(out)["profiles"] if out else []
    got = entries[0] if entries else {}
    if rc != 1 or len(entries) != 2 or sorted(got) != ["coverage", "path", "relative_volume", "volume"] or \
            list(got["coverage"]) != ["Display P3", adobe] or list(got["relative_volume"]) != ["Display P3", adobe] or \
            not 700000 < got["volume"] < 950000 or not 60 < got["coverage"][adobe] < 90 or \
            not 60 < got["relative_volume"]["Display P3"] < 90:
        fail(f"gamut --json --compare: exit code {rc}, {out!r}")
    messages = sorted(line for line in err.splitlines() if line)
    if len(entries) != 2 or sorted(entries[1]) != ["path", "reason"] or len(messages) != 2 or \
            not messages[0].startswith(gray + ": no gamut volume: " + entries[1]["reason"]) or \
            not messages[1].startswith(missing + ": "):
        fail(f"gamut of a gray profile and a missing file: {entries[1:]} {messages}")


def main():
    args = sys.argv[1:]
    checker = None
    if args[:1] == ["--checker"]:
        checker, args = args[1], args[2:]
    out = os.path.abspath(args[0])
    cli = [os.path.abspath(word) if os.path.exists(word) else word for word in args[1:]]
    checker = checker and os.path.abspath(checker)
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    os.chdir(out)  # relative paths: the same under Wine
    sources = corpus()

    # set: every profile, and the bad files among them.
    copies = {os.path.relpath(k): v for k, v in copy_corpus("set", sources).items()}
    bad = bad_files("bad", sources[0])
    before_bad = contents(bad)
    old = shown(cli, sorted(copies))
    for copy in sorted(copies):
        # The version as every surface gives it: "2.1", "4.3", the bug-fix number when not 0.
        with open(copy, "rb") as f:
            major, minor = f.read(10)[8:10]
        want = f"{major}.{minor >> 4}" + (f".{minor & 15}" if minor & 15 else "")
        if old.get(copy, {}).get("version") != want:
            fail(f"show: {copy}: version {old.get(copy, {}).get('version')!r}, not {want!r}")
    rc, report, err = run(cli, ["set", TEXT] + sorted(copies)[:5] + list(bad) + sorted(copies)[5:])
    check_bad(rc, err, bad, before_bad, "set")
    changed = [line for line in report.splitlines() if line]
    if len(changed) != len(copies):
        fail(f"set: {len(changed)} changes reported for {len(copies)} profiles")
    new = shown(cli, sorted(copies))
    v2, v4 = [], []
    for copy, source in sorted(copies.items()):
        if new.get(copy, {}).get("description") != TEXT:
            fail(f"set: {copy} reads back {new.get(copy, {}).get('description')!r}")
        relative = os.path.basename(copy)
        if copy.startswith("set_v4"):
            v4.append(f"{relative}\t{source}\t{TEXT.encode().hex()}\t"
                      f"{old[copy]['description'].encode().hex()}\n")
        else:
            v2.append(f"{relative}\t{source}\t{TEXT.encode().hex()}\n")
    manifest("set", v2)
    manifest("set_v4", v4)

    # --dry-run writes nothing; a run of only good files exits with 0.
    again = sorted(copies)[:20]
    before = contents(again)
    rc, report, err = run(cli, ["set", "--dry-run", "Not written"] + again)
    if rc != 0 or len(report.splitlines()) != len(again) or contents(again) != before:
        fail(f"set --dry-run: exit code {rc}, {len(report.splitlines())} lines, files changed: "
             f"{contents(again) != before}")

    # replace, through folders: every record that holds OLD.
    copies = {os.path.relpath(k): v for k, v in copy_corpus("replace", sources).items()}
    old = shown(cli, sorted(copies))
    rc, report, err = run(cli, ["replace", "-r", OLD, NEW, "replace", "replace_v4", "bad", "bad/missing.icc"])
    check_bad(rc, err, bad, before_bad, "replace -r")
    new = shown(cli, sorted(copies))
    v2 = []
    expected_lines = 0
    for copy, source in sorted(copies.items()):
        records = old[copy].get("languages") or {"": old[copy]["description"]}
        expected_lines += sum(OLD in text for text in records.values())
        want = {k: v.replace(OLD, NEW) for k, v in records.items()}
        got = new[copy].get("languages") or {"": new[copy]["description"]}
        if got != want:
            fail(f"replace: {copy}: {got} instead of {want}")
        if not copy.startswith("replace_v4") and OLD in old[copy]["description"]:
            text = old[copy]["description"].replace(OLD, NEW)
            v2.append(f"{os.path.basename(copy)}\t{source}\t{text.encode().hex()}\n")
    if len(report.splitlines()) != expected_lines:
        fail(f"replace: {len(report.splitlines())} changes reported, {expected_lines} expected")
    manifest("replace", v2)

    # check, then fix: errors only in the two named-colour profiles whose B2A0 is damaged; fix
    # repairs what it can, a second check finds none of it, and the other copies keep
    # their bytes.
    copies = sorted(os.path.relpath(k) for k in copy_corpus("fix", sources))
    def profiles(args):
        rc, report, _ = run(cli, args + ["-r", "fix", "fix_v4"])
        return rc, {p["path"].replace("\\", "/"): p for p in json.loads(report)["profiles"]}
    rc, checked = profiles(["check", "--json"])
    errors = sorted(os.path.basename(p) for p, v in checked.items()
                    if any(f["severity"] == "error" for f in v["findings"]))
    if rc != 1 or sorted(checked) != copies or errors != ["icc_colord_Crayons.icc", "icc_colord_x11-colors.icc"]:
        fail(f"check: exit code {rc}, {len(checked)} of {len(copies)} profiles, errors in {errors}")
    before = contents(copies)
    rc, fixed = profiles(["fix", "--json"])
    _, again = profiles(["check", "--json"])
    repaired = {p: v["repaired"] for p, v in fixed.items() if v["repaired"]}
    if rc != 1 or len(repaired) < 4:
        fail(f"fix: exit code {rc}, repaired {repaired}")
    for path in copies:
        left = {f["code"] for f in again[path]["findings"]} & set(repaired.get(path, []))
        if left or (path not in repaired and contents([path]) != {path: before[path]}):
            fail(f"fix: {path} still has {left} or changed without a repair")

    if cli[-1].lower().endswith(".exe"):
        interrupted(cli, sources[0])
    shown_texts(cli)
    gamut_volumes(cli)

    # Usage errors.
    for usage in ([], ["bogus"], ["show"], ["show", "--nope", "x.icc"], ["set", "only-text"],
                  ["set", "--lang", "english", "T", "x.icc"], ["replace", "", "x", "y.icc"],
                  ["check"], ["fix", "--json"], ["check", "--dry-run", "x.icc"], ["gamut"],
                  ["gamut", "--compare"]):
        rc, _, err = run(cli, usage)
        if rc != 2 or not err:
            fail(f"{usage}: exit code {rc}, message {err!r}")
    rc, _, err = run(cli, ["show", "set"])
    if rc != 1 or "folder" not in err:
        fail(f"show of a folder without -r: exit code {rc}, {err!r}")

    print(f"{len(sources)} profiles: set, replace, check, fix, bad files and usage checked in {out}")
    if checker and not failures:
        env = dict(os.environ, TAGWRIGHT_REAL_PROFILES=f"{out}/set:{out}/replace")
        if subprocess.run([checker, "--gtest_color=no"], env=env).returncode != 0:
            fail("the Little CMS checker found faults")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
