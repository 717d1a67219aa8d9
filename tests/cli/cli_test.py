"""velmora-cli end to end against the simulated board: a whole write with the window's transcript
and the flash it leaves, refusals and a failed step with their exit codes, Ctrl-C during
programming, and --verify catching a wrong byte and a wrong SUM.

Usage: cli_test.py --cli PROGRAM --board-sim PATH --work DIR --group NAME [--wine-prefix DIR]
With --wine-prefix the program is velmora-cli.exe, run under Wine on COM11 of that prefix.
"""

import argparse
import os
import random
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import velmora_harness as harness  # noqa: E402

SOURCE_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
DEMO = os.path.join(SOURCE_DIR, "samples", "velmora-demo.mot")
WINE_PORT = "COM11"


class Cli:
    """velmora-cli with a board of its own: natively on a pty linked under the work folder, or
    under Wine on COM11 of a prefix."""

    def __init__(self, arguments, name, board_options=()):
        self.arguments = arguments
        self.work = os.path.join(arguments.work, name)
        os.makedirs(self.work, exist_ok=True)
        if arguments.wine_prefix:
            link = os.path.join(arguments.wine_prefix + ".ports", WINE_PORT.lower())
            os.makedirs(os.path.dirname(link), exist_ok=True)
            self.port = WINE_PORT
        else:
            link = os.path.join(self.work, "board")
            self.port = link
        self.board = harness.Board(arguments.board_sim, link, list(board_options))

    def command(self, *options):
        if self.arguments.wine_prefix:
            runner = os.path.join(SOURCE_DIR, "tests", "support", "wine-run.sh")
            return [runner, self.arguments.wine_prefix, self.arguments.cli] + list(options)
        return [self.arguments.cli] + list(options)

    def path(self, local):
        """A file's path as the program takes it."""
        if self.arguments.wine_prefix:
            return "Z:" + os.path.abspath(local).replace("/", "\\")
        return local

    def write(self, image, *options):
        """Runs a write to its end: exit code, standard output, standard error."""
        result = subprocess.run(
            self.command("write", self.path(image), "--port", self.port, *options),
            capture_output=True, text=True, timeout=300)
        if result.returncode == harness.SKIP:
            raise harness.Skip(result.stderr.strip())
        return result.returncode, result.stdout.replace("\r\n", "\n"), result.stderr

    def start(self, image, *options):
        return subprocess.Popen(self.command("write", self.path(image), "--port", self.port,
                                             *options),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def load_lines(shown_path):
    """What loading velmora-demo.mot logs, as the window's browse command logs it."""
    return ("Loading file : %s ... Ok.\nParsing SRECORD ...Ok.\n\n"
            "MOT/SRECORD information \n======================= \n"
            "  records count      = 147 \n  binary codes/datas = 2880 bytes \n"
            "  address startes    = 0x00000000 \n  address ends       = 0x00001804 \n" % shown_path)


def large_image(path, blocks):
    """An image of `blocks` 128-byte blocks that all carry data (S3 lines of 32 bytes)."""
    generator = random.Random(blocks)
    with open(path, "w") as out:
        for address in range(0, blocks * 128, 32):
            data = bytes(generator.randrange(0, 0xFF) for _ in range(32))
            body = bytes([len(data) + 5]) + address.to_bytes(4, "big") + data
            out.write("S3%s%02X\n" % (body.hex().upper(), 0xFF - (sum(body) & 0xFF)))
    return path


def expect_one_line(stderr, text):
    lines = stderr.strip().splitlines()
    harness.check(len(lines) == 1 and text in lines[0], "standard error: %r" % stderr)


def success_group(arguments):
    """The design's pacing: the window's log on standard output, the same with CR LF in --log's
    file, exit 0 and the image in the flash."""
    cli = Cli(arguments, "success")
    try:
        log_file = os.path.join(cli.work, "run.log")
        code, out, err = cli.write(DEMO, "--log", log_file)
        harness.check(code == 0, "exit %d: %s" % (code, err))
        expected = (load_lines(cli.path(DEMO)) +
                    harness.transcript("successful_run", cli.port).replace("\r\n", "\n"))
        harness.check(out == expected, "standard output:\n%s" % out)
        with open(log_file, newline="") as file:
            harness.check(file.read() == expected.replace("\n", "\r\n"),
                          "the log file is not the window's log")
        harness.check(harness.poll(lambda: cli.board.count("reboot") == 1, 5), "no reboot")
    finally:
        cli.board.stop()
    image, _ = harness.image_of(DEMO)
    harness.check(cli.board.flash() == image, "the flash differs from the image")


def refusals_group(arguments):
    """Bad input gets one line on standard error and its exit code; nothing touches the port."""
    cli = Cli(arguments, "refusals", ["--no-confirm"])
    try:
        refused = os.path.join(cli.work, "refused.mot")
        with open(refused, "w") as file:
            file.write("S00600004844521B\nS1070100AABBCCDDE8\n")
        code, _, err = cli.write(refused)
        harness.check(code == 3, "a refused file gave exit %d" % code)
        expect_one_line(err, "line 2: checksum mismatch")
        code, _, err = cli.write(os.path.join(cli.work, "missing.mot"))
        harness.check(code == 3, "a missing file gave exit %d" % code)
        expect_one_line(err, "cannot be opened")
        harness.check(cli.board.count("open") == 0, "a refused file opened the port")

        result = subprocess.run(cli.command("write", DEMO, "--port", cli.port, "--colour"),
                                capture_output=True, text=True)
        harness.check(result.returncode == 2, "an unknown option gave exit %d" % result.returncode)
        expect_one_line(result.stderr, "--colour")

        # [09] fails: the board never confirms the new bit rate.
        code, out, err = cli.write(DEMO, "--fast")
        harness.check(code == 19, "a failed [09] gave exit %d" % code)
        harness.check(out.endswith("[09] CONFIRM BPS : 38400 \n---> failed to confirm BPS !\n"),
                      "standard output:\n%s" % out)
        expect_one_line(err, "step [09] failed")
    finally:
        cli.board.stop()


def interrupt_group(arguments):
    """Ctrl-C while blocks go out: exit 130, the way out's reboot, and the port closed."""
    cli = Cli(arguments, "interrupt")
    try:
        image = large_image(os.path.join(cli.work, "large.mot"), 512)
        process = cli.start(image, "--fast")
        programming = harness.poll(lambda: cli.board.count("block") >= 5, 60, 0.05)
        process.send_signal(signal.SIGINT)
        out, err = process.communicate(timeout=30)
        harness.check(programming, "the blocks never started")
        harness.check(process.returncode == 130, "exit %d: %s" % (process.returncode, err))
        harness.check("interrupted during step [11]" in err and "partly written" in err,
                      "standard error: %r" % err)
        harness.check("---> failed to programming !" in out, "standard output:\n%s" % out)
        # The block under way is the last one sent; the way out reboots the board once.
        harness.check(cli.board.count("block") < 512, "every block was sent")
        harness.check(harness.poll(lambda: cli.board.way_out_resets() == 1, 5),
                      "the way out did not reboot the board")
        ports = [event["kind"] for event in cli.board.events()
                 if event["kind"] in ("open", "close")]
        harness.check(ports[-1] == "close", "the port was left open: %s" % ports[-3:])
    finally:
        cli.board.stop()


def verify_group(arguments):
    """--verify passes a good run with the total, and fails a wrong byte and a wrong SUM."""
    cases = [
        ([], 0, "---> verify : the user MAT adds up to 0x"),
        (["--wrong-byte", "0x10"], 5,
         "ERROR : the first byte that differs is at 0x00000010: the flash holds 0xFF, "
         "the image 0x00.\n"),
        (["--bad-reply-sum", "0x4B"], 5, "The sum check got a reply with a wrong SUM !"),
    ]
    for board_options, exit_code, text in cases:
        cli = Cli(arguments, "verify" + "".join(board_options), board_options)
        try:
            code, out, err = cli.write(DEMO, "--fast", "--verify")
        finally:
            cli.board.stop()
        harness.check(code == exit_code, "%s: exit %d: %s" % (board_options, code, err))
        harness.check(text in out, "%s: standard output:\n%s" % (board_options, out))


GROUPS = {"success": success_group, "refusals": refusals_group, "interrupt": interrupt_group,
          "verify": verify_group}


def run():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--board-sim", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--group", required=True, choices=sorted(GROUPS))
    parser.add_argument("--wine-prefix")
    arguments = parser.parse_args()
    if not os.access(arguments.board_sim, os.X_OK):
        raise harness.Skip("the simulated board %s is missing: build the linux preset first"
                           % arguments.board_sim)
    started = time.monotonic()
    GROUPS[arguments.group](arguments)
    print("%s: %.0f s" % (arguments.group, time.monotonic() - started))


if __name__ == "__main__":
    harness.main(run)
