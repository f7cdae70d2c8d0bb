#!/usr/bin/env python3
"""The worst single files for tagwright-cli against the budget of a command on one file
(5 s, 200 MB) and against ArgyllCMS's iccdump reading the same tag: descriptions that claim a
gigabyte held in holes, a 50 MB and a million-character description, a 99 MB lut16 table.
With a Wine runner and a Windows tagwright-cli the Windows build is measured the same way,
beside a bare start of it (`--help`, the median of three), which Wine's own start-up
dominates: the budget is held to the time beyond it.  Nothing is asserted: every figure is
printed with its ratio to the budget.

usage: bounds_bench.py WORK_DIR TAGWRIGHT_CLI [WINE_RUN WINE_PREFIX WINDOWS_CLI]
"""
import os
import shutil
import statistics
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tests", "cli"))
import cli_bounds  # noqa: E402  (the test's sparse profile makers and its measured runs)

BUDGET_SECONDS, BUDGET_BYTES = cli_bounds.MOST_SECONDS, cli_bounds.MOST_BYTES
COMMANDS = (["show"], ["show", "--json", "--all-languages"], ["plot", "-o", "p.png"],
            ["check"], ["fix", "--dry-run"], ["set", "X"], ["replace", "A", "B"])


def files(work):
    g = 1 << 30
    make = cli_bounds.profile
    return [
        ("1 GB mluc", make(os.path.join(work, "mluc.icc"), 0x04300000,
                           [cli_bounds.localized("Giant " * 12000, g)]), b"desc"),
        ("1 GB desc", make(os.path.join(work, "desc.icc"), 0x02100000,
                           [cli_bounds.record(b"Giant " * 12000, g)]), b"desc"),
        ("50 MB desc", make(os.path.join(work, "desc50.icc"), 0x02100000,
                            [cli_bounds.record(b"A" * (50 << 20), 50 << 20)]), b"desc"),
        ("1 M characters", make(os.path.join(work, "desc1m.icc"), 0x02100000,
                                [cli_bounds.record(b"A b " * (1 << 18), 1 << 20)]), b"desc"),
        ("99 MB lut16", make(os.path.join(work, "lut.icc"), 0x02100000,
                             [cli_bounds.lut16(255), cli_bounds.record(b"Table\0", 6)]), b"A2B0"),
    ]


def measured(*program):
    rc, _, err, seconds, peak = cli_bounds.run_program(list(program))
    return seconds, peak, "killed" if err == "killed" else f"exit {rc}"


def bare_start(program):
    return statistics.median(measured(*program, "--help")[0] for _ in range(3))


def line(what, seconds, peak, end, peer, start):
    ratio = max((seconds - start) / BUDGET_SECONDS, peak / BUDGET_BYTES)
    peer_text = ""
    if peer:
        peer_text = f"  iccdump {peer[0]:6.2f} s {peer[1] / 2**20:7.1f} MB {peer[2]}"
    print(f"{what:48} {seconds:6.2f} s {peak / 2**20:7.1f} MB {end:7} {ratio:5.2f} of the budget"
          f"{peer_text}")
    return ratio


def main():
    work = os.path.abspath(sys.argv[1])
    builds = [("Linux", [os.path.abspath(sys.argv[2])])]
    if len(sys.argv) >= 6 and os.path.exists(sys.argv[5]):
        builds.append(("Windows x86_64 under Wine", [os.path.abspath(a) for a in sys.argv[3:6]]))
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    cli_bounds.WORK = work
    if len(builds) > 1:
        # One Wine server for the whole run, and the prefix and Wine's services started
        # first with nothing of ours to inherit (they would hold a measured run's output).
        env = dict(os.environ, WINEPREFIX=os.path.abspath(sys.argv[4]))
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run([*builds[1][1], "--help"], **quiet, check=False)
        subprocess.run(["wineserver", "-w"], env=env, check=False)
        server = subprocess.Popen(["wineserver", "-f", "-p"], env=env, **quiet)
        subprocess.run([*builds[1][1], "--help"], **quiet, check=False)
    starts = {build: bare_start(program) for build, program in builds}
    for build, start in starts.items():
        print(f"{build}: a bare start takes {start:.2f} s")
    worst = {}
    for index, (name, _, tag) in enumerate(files(work)):
        path = files(work)[index][1]
        peer = measured("iccdump", "-v", "3", "-t", tag.decode(), path) if shutil.which("iccdump") else None
        for build, program in builds:
            for args in COMMANDS:
                path = files(work)[index][1]  # afresh: a writer may have changed it
                seconds, peak, end = measured(*program, *args, path)
                ratio = line(f"{build[:7]} {name}: {' '.join(args)}", seconds, peak, end,
                             peer if args == ["show"] else None, starts[build])
                worst[build] = max(worst.get(build, 0), ratio)
    for build, ratio in worst.items():
        print(f"{build}: the worst command on one file used {ratio:.2f} of its budget "
              f"({BUDGET_SECONDS:.0f} s beyond a bare start, {BUDGET_BYTES >> 20} MB)")
    if len(builds) > 1:
        subprocess.run(["wineserver", "-k"], env=env, check=False)
        server.wait()
    shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
