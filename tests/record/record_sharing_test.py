"""Stations sharing one record: two processes handing out serial numbers at one address at once
get different numbers that go on from the record; a run that never finishes keeps its number;
velmora-cli history shows them as a table and as JSON Lines, filtered. Against an SQLite file,
or a throwaway PostgreSQL server on the loopback.

Usage: record_sharing_test.py --runs RECORD_RUNS --cli VELMORA_CLI --store sqlite|postgresql
                              --work DIR
"""

import argparse
import contextlib
import json
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import velmora_harness as harness  # noqa: E402
from postgres_server import PostgresServer  # noqa: E402

ADDRESS = "0x7FF0"
# Each station's boards: enough for their transactions to overlap on every run, not only by luck.
BOARDS = 10
# The number of the run that never finishes, after the first and the stations'.
LAST = 5001 + 2 * BOARDS
COLUMNS = ["id", "started_at", "station", "port", "adapter", "firmware", "firmware_sha256",
           "image_sum", "serial_address", "serial", "bit_rate", "ok", "exit_code", "step",
           "message", "seconds", "velmora_version"]


def parse_arguments():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", required=True)
    parser.add_argument("--cli", required=True)
    parser.add_argument("--store", choices=("sqlite", "postgresql"), required=True)
    parser.add_argument("--work", required=True)
    return parser.parse_args()


def record_runs(arguments, location, port, *options):
    return [arguments.runs, "--record", location, "--port", port, "--serial-address", ADDRESS,
            *options]


def numbers(output):
    return [int(line) for line in output.split()]


def hand_out(arguments, location):
    first = subprocess.run(record_runs(arguments, location, "/dev/ttyUSB0", "--boards", "1",
                                       "--serial-start", "5000"),
                           capture_output=True, text=True, timeout=60)
    harness.check(first.returncode == 0, "the first run failed: %s" % first.stderr)
    harness.check(numbers(first.stdout) == [5000], "the first number: %r" % first.stdout)

    # Two stations, both ready before either begins.
    stations = [subprocess.Popen(record_runs(arguments, location, port, "--boards", str(BOARDS), "--wait"),
                                 stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE, text=True)
                for port in ("/dev/ttyUSB1", "/dev/ttyUSB2")]
    for station in stations:
        station.stdin.write("go\n")
        station.stdin.flush()
    handed = []
    for station in stations:
        out, err = station.communicate(timeout=60)
        harness.check(station.returncode == 0, "a station failed: %s" % err)
        handed += numbers(out)
    harness.check(sorted(handed) == list(range(5001, 5001 + 2 * BOARDS)),
                  "two stations handed out %r, not %d different numbers after 5000"
                  % (handed, 2 * BOARDS))

    crashed = subprocess.run(record_runs(arguments, location, "/dev/ttyUSB0", "--boards", "1",
                                         "--unfinished"),
                             capture_output=True, text=True, timeout=60)
    harness.check(numbers(crashed.stdout) == [LAST], "after the others: %r" % crashed.stdout)


def history(arguments, *options):
    result = subprocess.run([arguments.cli, "history", *options],
                            capture_output=True, timeout=60)
    return result.returncode, result.stdout.decode("utf-8"), result.stderr.decode("utf-8")


def check_history(arguments, location):
    code, out, err = history(arguments, "--record", location, "--json")
    harness.check(code == 0, "history --json ended with %d: %s" % (code, err))
    rows = [json.loads(line) for line in out.splitlines()]
    harness.check([row["serial"] for row in rows] == list(range(5000, LAST + 1)),
                  "history --json, in the order recorded: %s" % out)
    for row in rows:
        harness.check(list(row) == COLUMNS, "the keys of a line: %s" % list(row))
    harness.check(rows[0]["ok"] is True and rows[0]["exit_code"] == 0 and rows[0]["step"] is None
                  and rows[0]["serial_address"] == 0x7FF0 and rows[0]["adapter"] is None
                  and rows[0]["image_sum"] == "0x00ABCDEF" and rows[0]["seconds"] == 1.5,
                  "a finished run: %s" % rows[0])
    harness.check(all(rows[-1][name] is None for name in ("ok", "exit_code", "message", "seconds")),
                  "the unfinished run: %s" % rows[-1])

    code, out, _ = history(arguments, "--record", location, "--json", "--last", "2")
    harness.check([json.loads(line)["serial"] for line in out.splitlines()] == [LAST - 1, LAST],
                  "--last 2: %s" % out)
    code, out, _ = history(arguments, "--record", location, "--port", "/dev/ttyUSB0")
    lines = out.splitlines()
    harness.check(code == 0 and len(lines) == 3 and lines[0].startswith("started_at"),
                  "the table of /dev/ttyUSB0: %s" % out)
    harness.check(" 5000 " in lines[1] and "PASS" in lines[1], "its first row: %s" % lines[1])
    harness.check(" %d " % LAST in lines[2] and "unfinished" in lines[2],
                  "its last row: %s" % lines[2])
    code, out, _ = history(arguments, "--record", location, "--serial", "5003", "--json")
    harness.check(len(out.splitlines()) == 1 and json.loads(out)["serial"] == 5003,
                  "--serial 5003: %s" % out)


def check_refusals(arguments, location):
    code, _, err = history(arguments, "--record", location, "--serial", "12x")
    harness.check(code == 2 and "12x" in err, "a bad --serial: %d %s" % (code, err))
    code, _, err = history(arguments)
    harness.check(code == 2 and "--record" in err, "without --record: %d %s" % (code, err))
    missing = os.path.join(arguments.work, "no-such-record.sqlite")
    code, _, err = history(arguments, "--record", missing)
    harness.check(code == 8 and missing in err and not os.path.exists(missing),
                  "a record that does not exist: %d %s" % (code, err))


def run():
    arguments = parse_arguments()
    os.makedirs(arguments.work, exist_ok=True)
    with contextlib.ExitStack() as stack:
        if arguments.store == "postgresql":
            location = stack.enter_context(PostgresServer()).uri
        else:
            location = os.path.join(arguments.work, "records-%d.sqlite" % os.getpid())
            stack.callback(lambda: os.path.exists(location) and os.remove(location))
        hand_out(arguments, location)
        check_history(arguments, location)
    check_refusals(arguments, location)


if __name__ == "__main__":
    harness.main(run)
