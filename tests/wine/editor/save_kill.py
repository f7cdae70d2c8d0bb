#!/usr/bin/env python3
"""Tagwright's Save and Save As ended from outside at many moments (as Task Manager, a
logoff or a power cut ends a program): every profile is still under its own name and
complete, and at most one temporary file is left, a complete profile or, when the end fell
between its creation and its deletion mark, an empty file.

usage: save_kill.py OUT WINE-RUN PREFIX EDITOR-TEST-EXE
"""
import os
import re
import shutil
import struct
import subprocess
import sys
import time

SOURCES = ["/usr/share/color/argyll/ref/Rec709.icm", "/usr/share/color/icc/colord/sRGB.icc"]
COUNT = 200
# (saves reported before the kill, then a pause in seconds): early, late, between saves.
STOPS = [(1, 0), (2, 0.002), (5, 0.005), (9, 0.001), (17, 0.008), (30, 0.003), (45, 0.011),
         (60, 0.0), (80, 0.006), (100, 0.004)]


def whole(data):
    return data is not None and len(data) > 128 and struct.unpack(">I", data[:4])[0] == len(data)


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


def main():
    out, command = os.path.abspath(sys.argv[1]), sys.argv[2:]
    command = [os.path.abspath(w) if os.path.exists(w) else w for w in command]
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    failures = []
    for n, (lines, pause) in enumerate(STOPS):
        folder = os.path.join(out, str(n))
        os.makedirs(folder)
        names = [f"{i}.icc" for i in range(COUNT)]
        for i, name in enumerate(names):
            shutil.copyfile(SOURCES[i % 2], os.path.join(folder, name))
        env = dict(os.environ, TAGWRIGHT_SAVE_LOOP=".")
        # A filter that names this run, so that the kill reaches no other run's process.
        only = f"--gtest_filter=*SaveLoopForTheKillProof:-Run{os.getpid()}.x"
        run = subprocess.Popen(command + [only], cwd=folder,
                               env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        saved = 0
        while saved < lines:
            line = run.stdout.readline()
            if not line:
                break
            saved += line.strip().isdigit()
        time.sleep(pause)
        subprocess.run(["pkill", "-KILL", "-f", rf"^([A-Z]:|/).*editor_test\.exe {re.escape(only)}"])
        run.stdout.read()
        run.wait()
        broken = [name for name in names if not whole(read(os.path.join(folder, name)))]
        # (the test fixture's own scratch folder aside)
        left = sorted(n for n in set(os.listdir(folder)) - set(names)
                      if os.path.isfile(os.path.join(folder, n)))
        bad_left = [name for name in left if read(os.path.join(folder, name)) != b"" and
                    not whole(read(os.path.join(folder, name)))]
        if saved < lines or broken or len(left) > 1 or bad_left:
            failures.append(f"kill {n} after {saved} saves: missing or broken {broken[:5]}, "
                            f"left {left}, of which not a profile {bad_left}")
    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(STOPS)} kills, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
