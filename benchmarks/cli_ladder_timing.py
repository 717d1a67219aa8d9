#!/usr/bin/env python3
"""Whole `velmora-cli write --fast` sessions of a 256 KiB image at every rate that `--bps max`
tries, against the simulated board with 3 ms to program a block and the reply latency of a USB
adapter (none, 1 ms in low-latency mode, 16 ms at the common driver's default), set against the
bound of the wire time and the programming time; then one `--bps max` run timed from start to
exit.

The block phase is read off the simulator's event log, as cli_write_timing.py reads it.

Usage: cli_ladder_timing.py [--build-dir build/linux] [--jobs N] [--max-only]
"""

import argparse
import concurrent.futures
import os
import shutil
import subprocess
import sys
import tempfile
import time

import cli_write_timing as timing

# --bps max's rates, fastest first, with the rate the board makes of each: its serial interface
# makes 156250 of 156300.
LADDER = ((625000, 625000), (312500, 312500), (156300, 156250), (125000, 125000),
          (76800, 78125), (62500, 62500), (57600, 56818), (38400, 39063))
PROGRAM_TIME_MS = 3


def session(cli, board_sim, image, bps, latency, work):
    link = os.path.join(work, "board")
    board = timing.harness.Board(board_sim, link, ["--reply-latency", str(latency),
                                                   "--program-time", str(PROGRAM_TIME_MS)])
    try:
        started = time.monotonic()
        result = subprocess.run([cli, "write", image, "--port", link, "--quiet", "--fast",
                                 "--bps", bps], stdout=subprocess.DEVNULL)
        total = time.monotonic() - started
    finally:
        board.stop()
    if result.returncode != 0:
        # Kept for a look: the work directory goes at the end.
        kept = shutil.copy(board.log, os.path.join(tempfile.gettempdir(), "ladder-%s-%d.log"
                                                   % (bps, latency)))
        print("velmora-cli --bps %s, reply latency %d ms: exit %d, the board's log in %s"
              % (bps, latency, result.returncode, kept), file=sys.stderr)
        return None
    events = board.events()
    blocks = [event["t"] for event in events if event["kind"] == "block"]
    period = (blocks[-1] - blocks[0]) / (len(blocks) - 1)
    return total, period * timing.BLOCKS


def bound(board_rate):
    return timing.BLOCKS * (timing.block_wire(board_rate) + PROGRAM_TIME_MS / 1000.0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", default=os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "build", "linux"))
    parser.add_argument("--jobs", type=int, default=1)
    parser.add_argument("--max-only", action="store_true", help="only the --bps max run")
    arguments = parser.parse_args()
    cli = os.path.join(arguments.build_dir, "velmora-cli")
    board_sim = os.path.join(arguments.build_dir, "tools", "board-sim", "velmora-board-sim")

    runs = [] if arguments.max_only else [
        (str(asked), made, latency) for asked, made in LADDER for latency in timing.LATENCIES_MS]
    with tempfile.TemporaryDirectory() as work:
        image = os.path.join(work, "image.mot")
        timing.write_image(image)

        def measure(numbered):
            number, (bps, _, latency) = numbered
            own = os.path.join(work, str(number))
            os.makedirs(own)
            return session(cli, board_sim, image, bps, latency, own)

        with concurrent.futures.ThreadPoolExecutor(arguments.jobs) as pool:
            results = list(pool.map(measure, enumerate(runs)))
        # Alone, so that nothing else shares the cores with it.
        own = os.path.join(work, "max")
        os.makedirs(own)
        maximum = session(cli, board_sim, image, "max", 0, own)

    print("256 KiB image, %d blocks sent; a block is %d bytes on the wire, %d bits a byte, and "
          "the board programs it in %d ms" % (timing.BLOCKS, timing.BLOCK_WIRE_BYTES,
                                               timing.BITS_PER_BYTE, PROGRAM_TIME_MS))
    print()
    if runs:
        print("| --bps | the board's rate | reply latency | whole run | block phase | "
              "wire + programming | block phase / (wire + programming) |")
        print("|---|---|---|---|---|---|---|")
        for (bps, made, latency), result in zip(runs, results):
            if result is None:
                print("| %s | %d | %d ms | failed | | %.1f s | |" % (bps, made, latency, bound(made)))
                continue
            total, blocks = result
            print("| %s | %d | %d ms | %.1f s | %.1f s | %.1f s | %.3f |"
                  % (bps, made, latency, total, blocks, bound(made), blocks / bound(made)))
        print()
    if maximum is None:
        print("--bps max, reply latency 0 ms: failed")
        return 1
    total, blocks = maximum
    print("--bps max, reply latency 0 ms: %.1f s from start to exit, block phase %.1f s "
          "(%.3f of the bound at 625000)" % (total, blocks, blocks / bound(625000)))
    return 0 if all(result is not None for result in results) else 1


if __name__ == "__main__":
    sys.exit(main())
