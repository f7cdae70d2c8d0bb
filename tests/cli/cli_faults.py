#!/usr/bin/env python3
"""tagwright-cli where users, scripts and the system push it: another user's file, what a
rewrite keeps, hard links, holes, signals mid-run, a reader that goes away, names and texts
that are not clean, paths longer than PATH_MAX.  Cases that need another user run as root
only (setpriv switches to nobody).

usage: cli_faults.py WORK_DIR TAGWRIGHT_CLI
"""
import json
import os
import shutil
import signal
import struct
import subprocess
import sys
import time

SOURCE = "/usr/share/color/icc/colord/sRGB.icc"
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def run(*args, user=None, stdin=None):
    command = ([b"setpriv", b"--reuid=nobody", b"--regid=nogroup", b"--clear-groups"]
               if user else []) + [CLI] + [a if isinstance(a, bytes) else a.encode() for a in args]
    done = subprocess.run(command, input=stdin, capture_output=True,
                          env=dict(os.environ, LANG="en_US.UTF-8", LC_ALL=""))
    return done.returncode, done.stdout, done.stderr.decode("utf-8", "replace")


def description(path):
    rc, out, _ = run("show", "--json", path)
    return json.loads(out)["profiles"][0]["description"] if rc == 0 else None


def profile(path, data=None):
    shutil.copyfile(SOURCE, path) if data is None else open(path, "wb").write(data)
    return path


def sparse_profile(path, hole):
    """A version 2 profile whose last tag is `hole` bytes of zeros, written as a hole."""
    text = b"Sparse\0"
    desc = b"desc\0\0\0\0" + struct.pack(">I", len(text)) + text + bytes(4 + 4 + 2 + 1 + 67)
    desc += bytes(-len(desc) % 4)
    table = 128 + 4 + 2 * 12
    size = table + len(desc) + hole
    header = struct.pack(">I4sI4s4s4s", size, b"none", 0x02100000, b"mntr", b"RGB ", b"XYZ ")
    header += bytes(12) + b"acsp" + bytes(128 - 40)
    tags = struct.pack(">I", 2) + struct.pack(">4sII", b"desc", table, len(desc))
    tags += struct.pack(">4sII", b"zero", table + len(desc), hole)
    with open(path, "wb") as f:
        f.write(header + tags + desc)
        f.truncate(size)
    return path


def clean_folder(folder):
    return [n for n in os.listdir(folder) if not n.lower().endswith(".icc")]


def permissions_and_identity(w):
    team = os.path.join(w, "team")
    os.makedirs(team)
    os.chmod(team, 0o2777)  # a shared folder without the sticky bit
    theirs = profile(os.path.join(team, "root.icc"))
    rc, _, err = run("set", "HACK", theirs, user=True)
    check(rc == 1 and "permission" in err and os.stat(theirs).st_uid == 0
          and description(theirs) == "sRGB", f"another user's file: {rc} {err!r}")
    locked = os.path.join(w, "locked")
    os.makedirs(locked)
    mine = profile(os.path.join(locked, "open.icc"))
    os.chmod(mine, 0o666)
    os.chmod(locked, 0o755)
    rc, _, err = run("set", "X", mine, user=True)
    check(rc == 1 and "folder " + locked in err, f"folder not writable: {rc} {err!r}")

    # Owner, group, mode, an extended attribute and a POSIX ACL survive a rewrite.
    kept = profile(os.path.join(team, "kept.icc"))
    os.chown(kept, 1234, 2345)
    os.chmod(kept, 0o2664)
    acl = struct.pack("<I", 2) + b"".join(struct.pack("<HHI", *e) for e in (
        (1, 6, 0xFFFFFFFF), (2, 6, 65534), (4, 4, 0xFFFFFFFF), (0x10, 6, 0xFFFFFFFF),
        (0x20, 4, 0xFFFFFFFF)))
    os.setxattr(kept, "system.posix_acl_access", acl)
    os.setxattr(kept, "user.origin", b"vendor disk")
    before = os.stat(kept)
    attributes = {n: os.getxattr(kept, n) for n in os.listxattr(kept)}
    rc, _, err = run("set", "Kept", kept)
    after = os.stat(kept)
    check(rc == 0 and (after.st_uid, after.st_gid, after.st_mode) ==
          (before.st_uid, before.st_gid, before.st_mode) and after.st_ino != before.st_ino and
          {n: os.getxattr(kept, n) for n in os.listxattr(kept)} == attributes,
          f"identity kept: {rc} {err!r} {oct(after.st_mode)} {os.listxattr(kept)}")


def links_and_holes(w):
    first = profile(os.path.join(w, "first.icc"))
    second = os.path.join(w, "second.icc")
    os.link(first, second)
    rc, _, err = run("set", "Linked", first)
    check(rc == 1 and "hard links" in err and description(second) == "sRGB",
          f"hard link refused: {rc} {err!r}")
    rc, _, err = run("set", "--in-place", "Linked", first)
    check(rc == 0 and description(second) == "Linked" and os.stat(first).st_nlink == 2,
          f"--in-place: {rc} {err!r}")

    holes = sparse_profile(os.path.join(w, "sparse.icc"), 256 << 20)
    rc, _, err = run("set", "Still sparse", holes)
    st = os.stat(holes)
    check(rc == 0 and st.st_size > 256 << 20 and st.st_blocks * 512 < 1 << 20,
          f"holes kept: {rc} {err!r} {st.st_blocks * 512} bytes in use")
    check(clean_folder(w) == [], f"left in {w}: {clean_folder(w)}")


def interruptions(w):
    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP, signal.SIGKILL):
        folder = os.path.join(w, sig.name)
        os.makedirs(folder)
        files = [profile(os.path.join(folder, f"{i}.icc")) for i in range(1500)]
        child = subprocess.Popen([CLI, "set", sig.name] + files, stdout=subprocess.PIPE)
        reported = [child.stdout.readline()]  # the run is under way
        time.sleep(0.2)
        child.send_signal(sig)
        reported += child.stdout.read().splitlines()
        child.wait()
        reported = {line.split(b": ")[0].decode() for line in reported if line.strip()}
        rc, out, _ = run("show", "--json", *files)
        changed = {p["path"] for p in json.loads(out)["profiles"] if p["description"] == sig.name}
        stray = clean_folder(folder)
        # A kill leaves its temporary files, named for whose they are, and at most the one
        # file renamed but not yet reported.
        check(child.returncode == -sig and reported <= changed and len(changed) < len(files) and
              (len(changed - reported) <= 1 and all(".tagwright-" in n for n in stray)
               if sig == signal.SIGKILL else changed == reported and not stray),
              f"{sig.name}: exit {child.returncode}, {len(reported)} reported, "
              f"{len(changed)} changed, left {stray[:3]}")

    # A reader that stops after one line ends the run quietly.
    files = [os.path.join(w, "SIGTERM", f"{i}.icc") for i in range(1500)]
    child = subprocess.Popen([CLI, "set", "Piped"] + files, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
    child.stdout.readline()
    child.stdout.close()
    err = child.stderr.read()
    child.wait()
    check(child.returncode in (-signal.SIGPIPE, 1) and not err and
          not clean_folder(os.path.dirname(files[0])),
          f"closed pipe: exit {child.returncode}, {err!r}")


def names_and_texts(w):
    # A name that is not UTF-8 and a description with an escape sequence.
    name = os.path.join(w.encode(), b"bad\xff\x1b[2J.icc")
    profile(name)
    rc, _, _ = run("set", "Red \x1b[31m alert", name)
    rc, out, err = run("show", "--json", name)
    try:
        shown = json.loads(out)["profiles"][0]
    except ValueError:
        shown = {}
    check(rc == 0 and bytes.fromhex(shown.get("path_bytes", "")) == name and
          shown.get("description") == "Red \x1b[31m alert", f"JSON of a bad name: {out!r}")
    rc, out, _ = run("show", name)
    check(rc == 0 and b"\x1b" not in out and b"\xff" not in out and b"\\x1b[31m" in out,
          f"text output escaped: {out!r}")

    target = profile(os.path.join(w, "text.icc"))
    rc, _, err = run("set", b"Broken \xff", target)
    check(rc == 2 and description(target) == "sRGB", f"invalid UTF-8 TEXT: {rc} {err!r}")
    long_text = "Long description " * 10000  # beyond what one argument may hold
    rc, _, err = run("set", "--text-from", "-", target, stdin=long_text.encode() + b"\n")
    check(rc == 0 and description(target) == long_text, f"TEXT from standard input: {rc} {err!r}")

    # Memory that runs out ends in a message, not an abort.
    big = os.path.join(w, "big.txt")
    with open(big, "w") as f:
        f.write("x" * (15 << 20))
    done = subprocess.run(["prlimit", "--as=60000000", CLI, "set", "--text-from", big, target],
                          capture_output=True)
    check(done.returncode == 1 and b"not enough memory" in done.stderr,
          f"out of memory: {done.returncode} {done.stderr[-200:]!r}")

    # Usage: a command's help, a dry run says "would", also of what would fail.
    rc, out, _ = run("set", "--help")
    check(rc == 0 and out.startswith(b"usage: tagwright-cli set"), f"set --help: {rc} {out!r}")
    rc, out, _ = run("check", "--help")
    check(rc == 0 and b"-r " in out and b"--dry-run" not in out and b"--in-place" not in out,
          f"check --help names options check does not take: {out!r}")
    readonly = profile(os.path.join(w, "readonly.icc"))
    os.chmod(readonly, 0o444)
    rc, out, err = run("set", "--dry-run", "Dry", target, readonly)
    check(rc == 1 and b"would change" in out and "would fail: the file is read-only" in err,
          f"dry run: {rc} {out!r} {err!r}")


def deep_tree(w):
    """A profile below a path longer than PATH_MAX is reported, not skipped."""
    fd = os.open(w, os.O_RDONLY)
    for _ in range(30):
        os.mkdir("d" * 200, dir_fd=fd)
        inner = os.open("d" * 200, os.O_RDONLY, dir_fd=fd)
        os.close(fd)
        fd = inner
    with open(SOURCE, "rb") as f:
        data = f.read()
    deep = os.open("deep.icc", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd)
    os.write(deep, data)
    os.close(deep)
    os.close(fd)
    rc, _, err = run("set", "-r", "Deep", w)
    check(rc == 1 and "PATH_MAX" in err, f"deep tree: {rc} {err[:200]!r}")
    subprocess.run(["rm", "-rf", w])


CASES = [("permissions and identity", permissions_and_identity, True),
         ("links and holes", links_and_holes, False),
         ("interruptions", interruptions, False),
         ("names and texts", names_and_texts, False),
         ("deep tree", deep_tree, False)]


def main():
    global CLI
    work, CLI = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    os.chmod(work, 0o755)
    for name, case, as_other_user in CASES:
        if as_other_user and os.geteuid() != 0:
            print(f"skipped (needs root): {name}")
            continue
        folder = os.path.join(work, name.replace(" ", "_"))
        os.makedirs(folder)
        case(folder)
    print(f"{len(CASES)} groups of cases, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
