#!/usr/bin/env python3
"""The one description rule across builds: profiles written by the Windows tagwright-cli under
Wine (ANSI code pages 1252 and 1251) and by the native one, each read back by the other, by
both code pages and by Little CMS, through `set` and `replace`.  A Unicode record that says
something else than the text shown is kept byte for byte.

usage: cross_proof.py OUT NATIVE-CLI LCMS-DESC WINE-RUN WINDOWS-CLI
Exits 77 (skipped) when the Windows build is not there.  On a machine that runs no 32-bit
programs, an i686 WINDOWS-CLI is replaced by the x86_64 build's.
"""
import json
import os
import shutil
import struct
import subprocess
import sys

failures = []
GREEK = "Ελληνικά 中文 😀 café"
CYRILLIC = "Профиль монитора"


def fail(message):
    failures.append(message)
    print("FAIL:", message)


def profile(desc):
    """A small version 2 display profile around the given 'desc' tag."""
    wtpt = b"XYZ " + bytes(4) + struct.pack(">3i", 63190, 65536, 54061)
    tags = [(b"desc", desc), (b"wtpt", wtpt)]
    offset, table, data = 128 + 4 + 12 * len(tags), b"", b""
    for signature, body in tags:
        table += signature + struct.pack(">II", offset + len(data), len(body))
        data += body + bytes(-len(body) % 4)
    size = offset + len(data)
    header = struct.pack(">I4sI4s4s4s", size, b"none", 0x02100000, b"mntr", b"RGB ", b"XYZ ")
    header += bytes(12) + b"acsp" + bytes(28) + struct.pack(">iii", 63190, 65536, 54061)
    header += bytes(128 - len(header))
    return header + struct.pack(">I", len(tags)) + table + data


def record(ascii, unicode):
    """A description record: the ASCII bytes and, unless None, a Unicode record."""
    tag = b"desc" + bytes(4) + struct.pack(">I", len(ascii) + 1) + ascii + b"\0" + bytes(4)
    if unicode is None:
        tag += bytes(4)
    else:
        units = unicode.encode("utf-16-be") + b"\0\0"
        tag += struct.pack(">I", len(units) // 2) + units
    return tag + bytes(3 + 67)


def desc_of(path):
    """The stored 'desc' tag: (type, ASCII record, Unicode record's stored bytes)."""
    with open(path, "rb") as f:
        data = f.read()
    count = struct.unpack(">I", data[128:132])[0]
    for i in range(count):
        signature, offset, size = struct.unpack(">4sII", data[132 + 12 * i:144 + 12 * i])
        if signature == b"desc":
            tag = data[offset:offset + size]
            if tag[:4] != b"desc":
                return tag[:4], tag[8:].split(b"\0")[0], None
            n = struct.unpack(">I", tag[8:12])[0]
            units = struct.unpack(">I", tag[16 + n:20 + n])[0]
            return b"desc", tag[12:12 + n].split(b"\0")[0], tag[12 + n:20 + n + 2 * units]
    return None, None, None


class Runner:
    def __init__(self, out, native, lcms, wine_run, windows):
        self.out, self.native, self.lcms = out, native, lcms
        self.wine_run, self.windows = wine_run, windows
        self.env = {"1252": dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")}
        # Wine takes its ANSI code page from the locale, which need not be installed here.
        locales = os.path.join(out, "locales")
        if not os.path.isdir(os.path.join(locales, "ru_RU.UTF-8")):
            os.makedirs(locales, exist_ok=True)
            subprocess.run(["localedef", "-i", "ru_RU", "-f", "UTF-8",
                            os.path.join(locales, "ru_RU.UTF-8")], capture_output=True)
        if os.path.isdir(os.path.join(locales, "ru_RU.UTF-8")):
            self.env["1251"] = dict(os.environ, LOCPATH=locales, LANG="ru_RU.UTF-8",
                                    LC_ALL="ru_RU.UTF-8")
        else:
            fail("cannot make the ru_RU locale that gives Wine code page 1251")

    def run(self, where, args):
        if where == "linux":
            command, env = [self.native] + args, dict(os.environ, LANG="C.UTF-8", LC_ALL="")
        else:
            prefix = os.path.join(self.out, "wine-" + where)
            command, env = [self.wine_run, prefix, self.windows] + args, self.env[where]
        done = subprocess.run(command, capture_output=True, env=env, cwd=self.out)
        out = done.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
        if done.returncode != 0:
            fail(f"{where} {' '.join(args)}: exit code {done.returncode}: "
                 f"{done.stderr.decode('utf-8', 'replace')}")
        return out

    def places(self):
        return ["linux"] + sorted(self.env)

    def shown(self, name, expected):
        """Every build in every code page shows `expected`."""
        for where in self.places():
            out = self.run(where, ["show", "--json", name])
            try:
                text = json.loads(out)["profiles"][0]["description"]
            except (ValueError, IndexError, KeyError):
                text = out
            if text != expected:
                fail(f"{name}: {where} shows {text!r}, not {expected!r}")

    def lcms_reads(self, name):
        """Little CMS 2.14 opens the profile and reads its ASCII record."""
        done = subprocess.run([self.lcms, os.path.join(self.out, name)], capture_output=True)
        ascii = desc_of(os.path.join(self.out, name))[1]
        if done.returncode != 0 or done.stdout.rstrip(b"\n") != ascii:
            fail(f"{name}: Little CMS reads {done.stdout!r} ({done.returncode}), not {ascii!r}")


def main():
    if len(sys.argv) != 6:
        print(__doc__)
        return 2
    out, native, lcms, wine_run, windows = sys.argv[1:]
    runs_32_bit = os.path.join(os.path.dirname(wine_run), "runs-32-bit")
    if "/build/win32/" in windows and subprocess.run([runs_32_bit]).returncode != 0:
        windows = windows.replace("/build/win32/", "/build/win64/")
    if not os.path.isfile(windows):
        print(f"skipped: {windows} is not built")
        return 77
    os.makedirs(out, exist_ok=True)
    r = Runner(out, native, lcms, wine_run, windows)

    def put(name, desc):
        with open(os.path.join(out, name), "wb") as f:
            f.write(profile(desc))
        return name

    # Written on Windows (1252), edited here, and the other way round.
    greek = put("greek.icc", record(b"Old", None))
    r.run("1252", ["set", GREEK, greek])
    _, ascii, unicode = desc_of(os.path.join(out, greek))
    if not ascii.endswith(b" caf\xe9") or unicode is None:
        fail(f"{greek}: the 1252 build stored {ascii!r} and no Unicode record")
    r.shown(greek, GREEK)
    r.run("linux", ["replace", "café", "bar", greek])
    r.shown(greek, GREEK.replace("café", "bar"))
    r.lcms_reads(greek)

    if "1251" in r.env:
        cyrillic = put("cyrillic.icc", record(b"Old", None))
        r.run("1251", ["set", CYRILLIC, cyrillic])
        if desc_of(os.path.join(out, cyrillic))[1] != CYRILLIC.encode("cp1251"):
            fail(f"{cyrillic}: the ASCII record is not the 1251 form")
        r.shown(cyrillic, CYRILLIC)
        r.lcms_reads(cyrillic)
        native = put("native.icc", record(b"Old", None))
        r.run("linux", ["set", CYRILLIC, native])
        r.run("1251", ["replace", "монитора", "экрана", native])
        r.run("1252", ["replace", "Профиль", "Profil", native])
        r.shown(native, "Profil экрана")
        r.lcms_reads(native)

    # A Unicode record left behind by a tool that renamed only the ASCII record: every build
    # shows the ASCII record, and 7-bit edits keep the other record byte for byte.
    stale = put("stale.icc", record(b"New name", "Old name"))
    kept = desc_of(os.path.join(out, stale))[2]
    r.shown(stale, "New name")
    r.run("1252", ["replace", "New", "Newer", stale])
    r.run("linux", ["set", "Other name", stale])
    if "1251" in r.env:
        r.run("1251", ["replace", "Other", "Third", stale])
    if desc_of(os.path.join(out, stale))[2] != kept:
        fail(f"{stale}: the Unicode record that was not shown changed")
    r.shown(stale, "Third name" if "1251" in r.env else "Other name")
    r.lcms_reads(stale)

    # A description stored as plain text is read whole and stays plain text.
    plain = put("plain.icc", b"text" + bytes(4) + b"Studio Monitor 2024\0")
    r.shown(plain, "Studio Monitor 2024")
    r.run("1252", ["replace", "2024", "2025", plain])
    if desc_of(os.path.join(out, plain))[:2] != (b"text", b"Studio Monitor 2025"):
        fail(f"{plain}: {desc_of(os.path.join(out, plain))}")
    r.lcms_reads(plain)

    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
