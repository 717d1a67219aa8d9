#!/usr/bin/env python3
"""`velmora-cli write --fast` on 1, 2 and 4 simulated boards at once: wall time and CPU time.

Every board gets the 256 KiB image of cli_write_timing.py (2048 blocks, all sent) and a simulator
of its own. The wall time is the whole command's; the CPU time is velmora-cli's own (user and
system, all its threads), read off the children's resource usage while the simulators still run.
The goal: four boards in at most 1.15 times the wall time of one.

Usage: cli_several_boards_timing.py [--build-dir build/linux] [--rounds 3]
"""

import argparse
import os
import resource
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "support"))
import cli_write_timing  # noqa: E402
import velmora_harness as harness  # noqa: E402

GOAL = 1.15


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def run_boards(cli, board_sim, image, count, work):
    """One write on `count` boards: wall and CPU seconds of velmora-cli."""
    boards = []
    try:
        harness.start_fresh_boards(board_sim, work, count, boards)
        ports = sum((["--port", board.link] for board in boards), [])
        cpu = children_cpu()
        started = time.monotonic()
        result = subprocess.run([cli, "write", image, "--fast", "--quiet"] + ports,
                                stdout=subprocess.DEVNULL)
        wall = time.monotonic() - started
        cpu = children_cpu() - cpu
        if result.returncode != 0:
            raise RuntimeError("velmora-cli on %d boards exited with %d"
                               % (count, result.returncode))
        return wall, cpu
    finally:
        for board in boards:
            board.stop()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", default=os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "build", "linux"))
    parser.add_argument("--rounds", type=int, default=3)
    arguments = parser.parse_args()
    cli = os.path.join(arguments.build_dir, "velmora-cli")
    board_sim = os.path.join(arguments.build_dir, "tools", "board-sim", "velmora-board-sim")

    print("256 KiB image, %d blocks a board, --fast; the best of %d rounds, on %d cores"
          % (cli_write_timing.BLOCKS, arguments.rounds, os.cpu_count()))
    print()
    print("| boards | wall time | wall / one board | velmora-cli CPU time |")
    print("|---|---|---|---|")
    with tempfile.TemporaryDirectory() as work:
        image = os.path.join(work, "image.mot")
        cli_write_timing.write_image(image)
        one = None
        for count in (1, 2, 4):
            runs = [run_boards(cli, board_sim, image, count, work)
                    for _ in range(arguments.rounds)]
            wall, cpu = min(runs)
            one = one or wall
            print("| %d | %.2f s | %.3f | %.2f s |" % (count, wall, wall / one, cpu))
    print()
    print("goal: four boards in at most %.2f x the wall time of one" % GOAL)


if __name__ == "__main__":
    main()
