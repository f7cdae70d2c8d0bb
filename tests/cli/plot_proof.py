#!/usr/bin/env python3
"""tagwright-cli plot over copies of every installed profile, with damaged files among them,
through folders (-r): one picture per profile that decodes as a PNG of the size asked for,
nothing left for the damaged files, and the usage errors.  The pictures stay in OUT/plots;
the native plot_test compares those of the Windows builds with its own drawing.

usage: plot_proof.py OUT CLI-COMMAND...
"""
import os
import shutil
import struct
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cli_proof import corpus, run  # noqa: E402

failures = []


def fail(message):
    failures.append(message)
    print("FAIL:", message)


def decode_png(path):
    """(width, height, RGBA rows) of an 8-bit RGBA PNG; raises ValueError on any fault."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("no PNG signature")
    at, idat, header = 8, b"", None
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if len(body) != length or struct.unpack(">I", data[at + 8 + length:at + 12 + length])[0] \
                != zlib.crc32(kind + body):
            raise ValueError(f"chunk {kind} cut short or with a wrong CRC")
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
        at += 12 + length
    if not header or header[2:] != (8, 6, 0, 0, 0):
        raise ValueError(f"not 8-bit RGBA: {header}")
    width, height = header[:2]
    raw, stride, rows, prior = zlib.decompress(idat), width * 4, [], bytes(width * 4)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            b, c = prior[i], prior[i - 4] if i >= 4 else 0
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            line[i] = (line[i] + (0, a, b, (a + b) // 2,
                                  a if pa <= pb and pa <= pc else b if pb <= pc else c)[kind]) & 255
        rows.append(bytes(line))
        prior = line
    return width, height, rows


def check_pictures(folder, expected, size):
    found = set(os.listdir(folder)) if os.path.isdir(folder) else set()
    if found != set(expected):
        fail(f"{folder}: {sorted(found ^ set(expected))} differ from what was expected")
    for name in sorted(found & set(expected)):
        try:
            width, height, _ = decode_png(os.path.join(folder, name))
            if (width, height) != (size, size):
                fail(f"{name}: {width}x{height}, not {size}x{size}")
        except (ValueError, zlib.error, struct.error, IndexError) as e:
            fail(f"{name}: does not decode: {e}")


def main():
    out = os.path.abspath(sys.argv[1])
    cli = [os.path.abspath(word) if os.path.exists(word) else word for word in sys.argv[2:]]
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(os.path.join(out, "profiles", "more"))
    os.chdir(out)  # relative paths: the same under Wine
    expected = []
    for source in corpus():
        name = source[len("/usr/share/color/"):].replace("/", "_")
        shutil.copyfile(source, os.path.join("profiles", name))
        expected.append(name.rsplit(".", 1)[0] + ".png")
    # The same name in another folder gets a picture of its own.
    shutil.copyfile("profiles/icc_sRGB.icc", "profiles/more/icc_sRGB.icc")
    expected.append("icc_sRGB-2.png")
    for name, data in (("damaged.icc", b"not a profile, though long enough for a header" * 3),
                       ("empty.icm", b"")):
        with open(os.path.join("profiles", "more", name), "wb") as f:
            f.write(data)

    rc, report, err = run(cli, ["plot", "-r", "profiles", "-d", "plots"])
    refused = sorted(line.split(": ")[0] for line in err.splitlines() if "not a profile" in line)
    if rc != 1 or len(report.splitlines()) != len(expected) or len(err.splitlines()) != 2 or \
            refused != ["profiles/more/damaged.icc", "profiles/more/empty.icm"]:
        fail(f"plot -r: exit code {rc}, {len(report.splitlines())} pictures reported, {err!r}")
    check_pictures("plots", expected, 256)
    mask = os.umask(0)
    os.umask(mask)
    mode = os.stat(os.path.join("plots", expected[0])).st_mode & 0o777
    if mode != 0o666 & ~mask:
        fail(f"a new picture has mode {mode:o}, not {0o666 & ~mask:o}")

    # sRGB in any case; -o writes the one picture.
    os.makedirs("one")
    rc, _, err = run(cli, ["plot", "profiles/argyll_ref_Rec2020.icm", "--compare", "SRGB", "--size", "64",
                           "-o", "one/one.png"])
    if rc != 0:
        fail(f"plot --compare SRGB: exit code {rc}, {err!r}")
    check_pictures("one", ["one.png"], 64)

    for args, code in ((["profiles/icc_sRGB.icc", "profiles/icc_Gray.icc", "-o", "two.png"], 2),
                       (["-r", "profiles", "-o", "two.png"], 2),
                       (["profiles/icc_sRGB.icc", "--size", "8"], 2),
                       (["profiles/icc_sRGB.icc", "-o", "two.png", "-d", "plots"], 2),
                       ([], 2),
                       (["profiles/icc_sRGB.icc", "--compare", "profiles/icc_Gray.icc", "-o", "two.png"], 1),
                       (["profiles", "-o", "two.png"], 1)):
        rc, _, err = run(cli, ["plot"] + args)
        if rc != code or not err or os.path.exists("two.png"):
            fail(f"plot {args}: exit code {rc}, not {code}; {err!r}")

    print(f"{len(expected)} pictures checked in {out}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
