#!/usr/bin/env python3
"""Every tagwright-cli command ends within 200 MB on one file, whatever the file claims: a
FIFO, descriptions of a gigabyte held in holes, a 50 MB description, a 99 MB lut16 table.
A reader shows such a text cut and says so; a writer refuses it and leaves the file as it
was.  Files are written sparse: the whole run needs little disk.

usage: cli_bounds.py WORK_DIR TAGWRIGHT_CLI [--report]   (--report prints every figure)
"""
import os
import shutil
import signal
import struct
import subprocess
import sys
import time

SOURCE = "/usr/share/color/icc/colord/sRGB.icc"
MOST_SECONDS, MOST_BYTES = 5.0, 200 << 20
KILL_AFTER = float(os.environ.get("KILL_AFTER", "60"))
failures = []
report = "--report" in sys.argv


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def run(*args):
    return run_program([CLI, *args])


def run_program(argv):
    """Exit code, output, error text, seconds and peak resident bytes of one run; a run past
    KILL_AFTER is killed and measured as it stands."""
    measured = os.path.join(WORK, "time.txt")
    child = subprocess.Popen(["/usr/bin/time", "-f", "%e %M", "-o", measured, *argv],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             stdin=subprocess.DEVNULL, cwd=WORK, start_new_session=True,
                             env=dict(os.environ, LANG="en_US.UTF-8", LC_ALL=""))
    try:
        out, err = child.communicate(timeout=KILL_AFTER)
    except subprocess.TimeoutExpired:
        os.killpg(child.pid, signal.SIGKILL)
        out, err = child.communicate()
        return -9, out, "killed", KILL_AFTER, 0
    seconds, kilobytes = open(measured).read().split()[-2:]
    return child.returncode, out, err.decode("utf-8", "replace"), float(seconds), int(kilobytes) << 10


def within(what, result):
    """Memory is held to the budget here; time only to ending at all (the times against the
    budget are bench/cli/bounds_bench.py's)."""
    rc, _, err, seconds, peak = result
    if report:
        print(f"{what:48} {seconds:6.2f} s {peak / 2**20:8.1f} MB  exit {rc}")
    check(err != "killed" and peak < MOST_BYTES,
          f"{what}: {seconds:.2f} s, {peak / 2**20:.1f} MB ({err[:120]!r})")


def profile(path, version, extra):
    """sRGB's tags but its description, and then `extra` (signature, first bytes, size): the
    bytes of a tag past those given are a hole."""
    src = open(SOURCE, "rb").read()
    tags = []
    for i in range(struct.unpack(">I", src[128:132])[0]):
        sig, at, size = struct.unpack(">4sII", src[132 + 12 * i:144 + 12 * i])
        if sig not in (b"desc", b"dscm"):
            tags.append((sig, src[at:at + size], size))
    tags += extra
    at = 128 + 4 + 12 * len(tags)
    rows, layout = b"", []
    for sig, data, size in tags:
        rows += struct.pack(">4sII", sig, at, size)
        layout.append((at, data))
        at += (size + 3) & ~3
    header = struct.pack(">I", at) + src[4:8] + struct.pack(">I", version) + src[12:84]
    header += bytes(16) + src[100:128]  # no profile ID: nothing reads the whole file for it
    with open(path, "wb") as f:
        f.write(header + struct.pack(">I", len(tags)) + rows)
        for offset, data in layout:
            f.seek(offset)
            f.write(data)
        f.truncate(at)
    return path


def localized(text, claimed):
    head = b"mluc" + bytes(4) + struct.pack(">II", 1, 12) + b"enUS" + struct.pack(">II", claimed, 28)
    return (b"desc", head + text.encode("utf-16-be"), 28 + claimed)


def record(text, claimed):
    return (b"desc", b"desc" + bytes(4) + struct.pack(">I", claimed) + text, 12 + claimed + 8 + 3 + 67)


def lut16(grid):
    """A2B0 of 3 inputs and outputs, `grid` points a side, 256-entry tables, all zero."""
    head = b"mft2" + bytes(4) + bytes([3, 3, grid, 0]) + bytes(36) + struct.pack(">HH", 256, 256)
    return (b"A2B0", head, 52 + 2 * (3 * 256 + grid ** 3 * 3 + 3 * 256))


def unchanged(path):
    st = os.stat(path)
    return st.st_size, st.st_mtime_ns, st.st_ino


def fifo(w):
    path = os.path.join(w, "fifo.icc")
    os.mkfifo(path)
    for args in (["show"], ["show", "--json"], ["set", "X"], ["replace", "a", "b"], ["check"],
                 ["check", "--json"], ["fix"], ["fix", "--dry-run"], ["plot"]):
        result = run(*args, path)
        within(f"FIFO: {' '.join(args)}", result)
        check(result[0] == 1 and result[2].endswith(": not a file\n"),
              f"FIFO: {' '.join(args)}: {result[0]} {result[2]!r}")


def giant_descriptions(w):
    g = 1 << 30
    files = {
        "1 GB mluc": profile(os.path.join(w, "mluc.icc"), 0x04300000,
                             [localized("Giant " * 12000, g)]),
        "1 GB desc": profile(os.path.join(w, "desc.icc"), 0x02100000,
                             [record(b"Giant " * 12000, g)]),
        "50 MB desc": profile(os.path.join(w, "desc50.icc"), 0x02100000,
                              [record(b"A" * (50 << 20), 50 << 20)]),
    }
    for name, path in files.items():
        for args in (["show"], ["show", "--json", "--all-languages"], ["plot", "-o", "p.png"],
                     ["check"], ["fix", "--dry-run"]):
            result = run(*args, path)
            within(f"{name}: {' '.join(args)}", result)
            if args[0] == "show":
                check(result[0] == 0 and (b"Giant Giant" in result[1] or b"AAAA" in result[1]),
                      f"{name}: {' '.join(args)} shows the start: {result[2]!r}")
                check(result[1].count(b"...") >= 1 and len(result[1]) < 1 << 20,
                      f"{name}: {' '.join(args)} says the text is cut")
        for args in (["set", "X"], ["replace", "Giant", "Small"], ["replace", "A", "B"]):
            before = unchanged(path)
            result = run(*args, path)
            within(f"{name}: {' '.join(args)}", result)
            check(result[0] == 1 and "too long" in result[2] and unchanged(path) == before,
                  f"{name}: {' '.join(args)} refuses: {result[0]} {result[2]!r}")


def giant_table(w):
    path = profile(os.path.join(w, "lut.icc"), 0x02100000,
                   [lut16(255), record(b"Table\0", 6)])
    for args in (["show"], ["check"], ["check", "--json"], ["fix", "--dry-run"], ["fix"],
                 ["plot", "-o", "p.png"], ["set", "Table 2"]):
        within(f"99 MB lut16: {' '.join(args)}", run(*args, path))


CASES = [("FIFO", fifo), ("giant descriptions", giant_descriptions),
         ("giant table", giant_table)]


def main():
    global CLI, WORK
    WORK, CLI = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    for name, case in CASES:
        folder = os.path.join(WORK, name.replace(" ", "_"))
        os.makedirs(folder)
        case(folder)
    shutil.rmtree(WORK, ignore_errors=True)
    print(f"{len(CASES)} groups of cases, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
