#!/usr/bin/env python3
"""Whole `velmora-cli write` sessions against the simulated board, timed, for the ways a run can be
paced, at the programming bit rates of --bps and with the reply latency of a USB adapter (none,
1 ms in low-latency mode, 16 ms at the common driver's default), set against the wire's own limit.

The image is 256 KiB of 2048 blocks that all carry data, so every block is sent. Each session gets
a simulator of its own; the block phase is read off the simulator's event log (from the first
block's first byte to the last block's ACK).

Usage: cli_write_timing.py [--build-dir build/linux] [--skip-design] [--jobs N]
The design's pacing takes about nine minutes; --skip-design leaves it out. --jobs runs that many
sessions side by side, each on a board of its own (their times do not depend on each other while
the cores are not busy: see cli_several_boards_timing.py).
"""

import argparse
import concurrent.futures
import os
import random
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "support"))
import velmora_harness as harness  # noqa: E402

BLOCKS = 2048
BLOCK_BYTES = 128
RATES = (38400, 57600, 76800)
LATENCIES_MS = (0, 1, 16)
BITS_PER_BYTE = 10
# A block frame out (command, address, 128 data bytes, SUM) and its ACK back.
BLOCK_WIRE_BYTES = 1 + 4 + BLOCK_BYTES + 1 + 1
PROGRAM_TIME = 0.001  # the simulator's default time to program one block


def s3_line(address, data):
    body = bytes([len(data) + 5]) + address.to_bytes(4, "big") + data
    checksum = 0xFF - (sum(body) & 0xFF)
    return "S3" + (body + bytes([checksum])).hex().upper()


def write_image(path, blocks=BLOCKS):
    generator = random.Random(1520)
    with open(path, "w") as out:
        for address in range(0, blocks * BLOCK_BYTES, 32):
            # 0xFE at most: no block can be all erased bytes.
            data = bytes(generator.randrange(0, 0xFF) for _ in range(32))
            out.write(s3_line(address, data) + "\n")
        out.write("S70500000000FA\n")


def block_wire(rate):
    return BLOCK_WIRE_BYTES * BITS_PER_BYTE / rate


def session(cli, board_sim, image, options, latency, work):
    link = os.path.join(work, "board")
    board = harness.Board(board_sim, link, ["--reply-latency", str(latency)])
    try:
        started = time.monotonic()
        result = subprocess.run([cli, "write", image, "--port", link, "--quiet"] + options,
                                stdout=subprocess.DEVNULL)
        total = time.monotonic() - started
        if result.returncode != 0:
            raise RuntimeError("velmora-cli %s exited with %d" % (options, result.returncode))
    finally:
        board.stop()
    blocks = [event["t"] for event in board.events() if event["kind"] == "block"]
    # Block 1's record comes with its ACK: its frame began one block period earlier.
    period = (blocks[-1] - blocks[0]) / (len(blocks) - 1)
    return total, period * BLOCKS


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", default=os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "build", "linux"))
    parser.add_argument("--skip-design", action="store_true")
    parser.add_argument("--jobs", type=int, default=1)
    arguments = parser.parse_args()
    cli = os.path.join(arguments.build_dir, "velmora-cli")
    board_sim = os.path.join(arguments.build_dir, "tools", "board-sim", "velmora-board-sim")

    print("256 KiB image, %d blocks sent; a block is %d bytes on the wire, %d bits a byte, and "
          "the board programs it in %.0f ms" % (BLOCKS, BLOCK_WIRE_BYTES, BITS_PER_BYTE,
                                                 PROGRAM_TIME * 1000))
    print()
    print("| bit rate | reply latency | pacing | whole run | block phase | wire + programming | "
          "block phase / (wire + programming) |")
    print("|---|---|---|---|---|---|---|")
    runs = [(38400, 0, "design (fixed delays)", [])] if not arguments.skip_design else []
    for rate in RATES:
        for latency in LATENCIES_MS:
            for name, options in (("--fast", ["--fast"]), ("--fast --verify", ["--fast", "--verify"])):
                runs.append((rate, latency, name, options))
    with tempfile.TemporaryDirectory() as work:
        image = os.path.join(work, "image.mot")
        write_image(image)

        def measure(numbered):
            number, (rate, latency, _, options) = numbered
            own = os.path.join(work, str(number))
            os.makedirs(own)
            return session(cli, board_sim, image, options + ["--bps", str(rate)], latency, own)

        with concurrent.futures.ThreadPoolExecutor(arguments.jobs) as pool:
            results = list(pool.map(measure, enumerate(runs)))
    for (rate, latency, name, _), (total, blocks) in zip(runs, results):
        bound = BLOCKS * (block_wire(rate) + PROGRAM_TIME)
        print("| %d | %d ms | %s | %.1f s | %.1f s | %.1f s | %.3f |"
              % (rate, latency, name, total, blocks, bound, blocks / bound))

if __name__ == "__main__":
    main()
