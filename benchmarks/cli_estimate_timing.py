#!/usr/bin/env python3
"""`velmora-cli info`'s estimates against whole `velmora-cli write` runs on the simulated board at
the same bit rate and reply latency: --fast, --fast --verify and --fast --read-back at each
--bps rate, with the reply latency of a USB adapter (none, 1 ms in low-latency mode, 16 ms at the
common driver's default), and with --design the design's pacing at 38400 bps as well.

The image is 64 KiB of 512 blocks that all carry data, so every block is sent and read back in
16 memory reads. Each run gets a simulator of its own; its time is the wall time of the process.

Usage: cli_estimate_timing.py [--build-dir build/linux] [--design] [--jobs N]
The --fast runs take about a quarter of an hour one at a time, --design about seven minutes more.
"""

import argparse
import concurrent.futures
import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "support"))
import velmora_harness as harness  # noqa: E402
from cli_write_timing import write_image  # noqa: E402

BLOCKS = 512
RATES = (38400, 57600, 76800)
LATENCIES_MS = (0, 1, 16)
MODES = (("", []), (" --verify", ["--verify"]), (" --read-back", ["--read-back"]))
# What the goal allows: an estimate within this share of the run it estimates.
TOLERANCE = 0.15


def estimates(cli, image, rate, latency):
    """info's totals by pacing and option: {("--fast", "--verify"): seconds, ...}."""
    out = subprocess.run([cli, "info", image, "--bps", str(rate), "--reply-latency",
                          str(latency)], capture_output=True, text=True, check=True).stdout
    design = float(re.search(r"At the design's pacing a run takes about .*? \((\d+\.\d) s\)",
                             out).group(1))
    design_adds = re.search(r"\n--verify adds about (\d+\.\d) s to it, --read-back (\d+\.\d) s "
                            r"more", out)
    fast = float(re.search(r"With --fast about .*? \((\d+\.\d) s\)", out).group(1))
    fast_adds = re.search(r"--fast --verify adds about (\d+\.\d) s to it, --fast --read-back "
                          r"(\d+\.\d) s more", out)
    found = {}
    for pacing, total, adds in (("design", design, design_adds), ("--fast", fast, fast_adds)):
        verify, read_back = float(adds.group(1)), float(adds.group(2))
        found[(pacing, "")] = total
        found[(pacing, " --verify")] = total + verify
        found[(pacing, " --read-back")] = total + verify + read_back
    return found


def measure(cli, board_sim, image, rate, latency, options, work):
    board = harness.Board(board_sim, os.path.join(work, "board"),
                          ["--reply-latency", str(latency)])
    try:
        started = time.monotonic()
        result = subprocess.run([cli, "write", image, "--port", board.link, "--quiet",
                                 "--bps", str(rate)] + options, stdout=subprocess.DEVNULL)
        total = time.monotonic() - started
        if result.returncode != 0:
            raise RuntimeError("velmora-cli %s exited with %d" % (options, result.returncode))
    finally:
        board.stop()
    return total


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", default=os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "build", "linux"))
    parser.add_argument("--design", action="store_true")
    parser.add_argument("--jobs", type=int, default=1)
    arguments = parser.parse_args()
    cli = os.path.join(arguments.build_dir, "velmora-cli")
    board_sim = os.path.join(arguments.build_dir, "tools", "board-sim", "velmora-board-sim")

    runs = []
    if arguments.design:
        runs += [(38400, 0, "design", name, options) for name, options in MODES]
    runs += [(rate, latency, "--fast", name, ["--fast"] + options)
             for rate in RATES for latency in LATENCIES_MS for name, options in MODES]
    with tempfile.TemporaryDirectory() as work:
        image = os.path.join(work, "image.mot")
        write_image(image, BLOCKS)
        estimated = {(rate, latency): estimates(cli, image, rate, latency)
                     for rate, latency in {(run[0], run[1]) for run in runs}}

        def run(numbered):
            number, (rate, latency, _, _, options) = numbered
            own = os.path.join(work, str(number))
            os.makedirs(own)
            return measure(cli, board_sim, image, rate, latency, options, own)

        with concurrent.futures.ThreadPoolExecutor(arguments.jobs) as pool:
            measured = list(pool.map(run, enumerate(runs)))

    print("64 KiB image, %d blocks sent and read back in 16 memory reads; goal: each estimate "
          "within %d %% of its run" % (BLOCKS, TOLERANCE * 100))
    print()
    print("| bit rate | reply latency | pacing | options | info's estimate | measured | "
          "estimate / measured |")
    print("|---|---|---|---|---|---|---|")
    worst = 0
    for (rate, latency, pacing, name, _), seconds in zip(runs, measured):
        estimate = estimated[(rate, latency)][(pacing, name)]
        worst = max(worst, abs(estimate / seconds - 1))
        print("| %d | %d ms | %s | %s | %.1f s | %.1f s | %.3f |"
              % (rate, latency, pacing, name.strip() or "-", estimate, seconds,
                 estimate / seconds))
    print()
    print("worst: %.1f %% off (goal: %d %%)" % (worst * 100, TOLERANCE * 100))
    return 0 if worst <= TOLERANCE else 1


if __name__ == "__main__":
    sys.exit(main())
