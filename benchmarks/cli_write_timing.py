#!/usr/bin/env python3
"""Whole `velmora-cli write` sessions against the simulated board, timed, for the three ways a run
can be paced, set against the wire's own limit.

The image is 256 KiB of 2048 blocks that all carry data, so every block is sent. Each session gets
a simulator of its own; the block phase is read off the simulator's event log (from the first
block's first byte to the last block's ACK).

Usage: cli_write_timing.py [--build-dir build/linux] [--skip-design]
The design's pacing takes about nine minutes; --skip-design leaves it out.
"""

import argparse
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
RATE = 38400
BITS_PER_BYTE = 10
# A block frame out (command, address, 128 data bytes, SUM) and its ACK back.
BLOCK_WIRE = (1 + 4 + BLOCK_BYTES + 1 + 1) * BITS_PER_BYTE / RATE
# The waits that stand for the board's reaction to the port (after the connection test, after the
# opening at 9600 bps) and the simulated erase: reply pacing keeps them.
BOARD_WAITS = 1.0 + 1.0 + 1.0
PROGRAM_TIME = 0.001  # the simulator's default time to program one block


def s3_line(address, data):
    body = bytes([len(data) + 5]) + address.to_bytes(4, "big") + data
    checksum = 0xFF - (sum(body) & 0xFF)
    return "S3" + (body + bytes([checksum])).hex().upper()


def write_image(path):
    generator = random.Random(1520)
    with open(path, "w") as out:
        for address in range(0, BLOCKS * BLOCK_BYTES, 32):
            # 0xFE at most: no block can be all erased bytes.
            data = bytes(generator.randrange(0, 0xFF) for _ in range(32))
            out.write(s3_line(address, data) + "\n")
        out.write("S70500000000FA\n")


def session(cli, board_sim, image, options, work):
    link = os.path.join(work, "board")
    for stale in (link, link + ".log"):
        if os.path.lexists(stale):
            os.unlink(stale)
    board = harness.Board(board_sim, link, [])
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
    arguments = parser.parse_args()
    cli = os.path.join(arguments.build_dir, "velmora-cli")
    board_sim = os.path.join(arguments.build_dir, "tools", "board-sim", "velmora-board-sim")

    wire = BLOCKS * BLOCK_WIRE
    bound = wire + BOARD_WAITS
    print("256 KiB image, %d blocks sent; wire time %.1f s (%.1f ms a block)"
          % (BLOCKS, wire, BLOCK_WIRE * 1000))
    print()
    print("| pacing | whole run | block phase | run / bound | block phase / (wire + programming) |")
    print("|---|---|---|---|---|")
    modes = [("design (fixed delays)", [])] if not arguments.skip_design else []
    modes += [("--fast", ["--fast"]), ("--fast --verify", ["--fast", "--verify"])]
    with tempfile.TemporaryDirectory() as work:
        image = os.path.join(work, "image.mot")
        write_image(image)
        for name, options in modes:
            total, blocks = session(cli, board_sim, image, options, work)
            print("| %s | %.1f s | %.1f s | %.2f | %.3f |"
                  % (name, total, blocks, total / bound,
                     blocks / (BLOCKS * (BLOCK_WIRE + PROGRAM_TIME))))
    print("| wire limit: %d x %.1f ms + %.0f s of board waits | %.1f s | %.1f s | 1.00 | |"
          % (BLOCKS, BLOCK_WIRE * 1000, BOARD_WAITS, bound, wire))


if __name__ == "__main__":
    main()
