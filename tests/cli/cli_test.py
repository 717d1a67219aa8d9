"""velmora-cli end to end as a process against the simulated board on a pseudo-terminal: a whole
write with the window's transcript, its outcome line and the flash it leaves; stops by signals and
a closed pipe; the port's problems; info's estimate and its refusals; ELF, Intel HEX and binary
files; the port held for a whole run; names that are not UTF-8; a PostgreSQL record that two
writes share; a station that programs board after board as they are put in and taken out. The
write command lines that need none of this run in process (write_in_process_test).

Usage: cli_test.py --cli PROGRAM --board-sim PATH --work DIR --group NAME [--wine-prefix DIR]
With --wine-prefix the program is velmora-cli.exe, run under Wine on COM11 of that prefix.
"""

import argparse
import json
import os
import pty
import random
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import velmora_harness as harness  # noqa: E402
from postgres_server import PostgresServer  # noqa: E402

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
    """An image of `blocks` 128-byte blocks that all carry data (S3 lines of 32 bytes), ended as
    every tool ends one."""
    generator = random.Random(blocks)
    with open(path, "w") as out:
        for address in range(0, blocks * 128, 32):
            data = bytes(generator.randrange(0, 0xFF) for _ in range(32))
            body = bytes([len(data) + 5]) + address.to_bytes(4, "big") + data
            out.write("S3%s%02X\n" % (body.hex().upper(), 0xFF - (sum(body) & 0xFF)))
        out.write("S70500000000FA\n")
    return path


# A plain progress line, which standard error gets during [11] where no terminal shows one.
PROGRESS = re.compile(r"^\S+: \[11\] (read-back )?\d+/\d+ blocks(, \d+:\d\d left)?$")


def complaints(stderr):
    """Standard error's lines but the plain progress lines."""
    return [line for line in stderr.strip().splitlines() if not PROGRESS.match(line)]


def expect_one_line(stderr, text):
    lines = complaints(stderr)
    harness.check(len(lines) == 1 and text in lines[0], "standard error: %r" % stderr)


def last_line(text):
    lines = text.rstrip("\n").split("\n")
    return lines[-1]


# The outcome line of a successful write of velmora-demo.mot, whose image sends 18 blocks.
DEMO_COMPLETED = re.compile(r"^Completed\. 18 blocks sent \(2304 bytes\) in \d+\.\d s\.")


def wait_for_blocks(cli, count):
    return harness.poll(lambda: cli.board.count("block") >= count, 60, 0.05)


def success_group(arguments):
    """The design's pacing: the window's log on standard output, then the outcome; the same with
    CR LF in --log's file, exit 0 and the image in the flash."""
    cli = Cli(arguments, "success")
    try:
        log_file = os.path.join(cli.work, "run.log")
        code, out, err = cli.write(DEMO, "--log", log_file)
        harness.check(code == 0, "exit %d: %s" % (code, err))
        expected = (load_lines(cli.path(DEMO)) +
                    harness.transcript("successful_run", cli.port).replace("\r\n", "\n"))
        harness.check(out.startswith(expected), "standard output:\n%s" % out)
        harness.check(DEMO_COMPLETED.match(out[len(expected):]) and out.count("\n") ==
                      expected.count("\n") + 1, "the outcome line: %r" % out[len(expected):])
        with open(log_file, newline="") as file:
            harness.check(file.read() == out.replace("\n", "\r\n"),
                          "the log file is not the window's log and the outcome")
        # Not a terminal: the programming's progress as plain lines, a tenth of the blocks at a
        # time, and nothing else.
        progress = err.splitlines()
        harness.check(all(PROGRESS.match(line) for line in progress) and len(progress) >= 10 and
                      progress[-1].startswith(os.path.basename(cli.port) + ": [11] 49/49 blocks"),
                      "standard error: %r" % err)
        harness.check(harness.poll(lambda: cli.board.count("reboot") == 1, 5), "no reboot")
    finally:
        cli.board.stop()
    image, _ = harness.image_of(DEMO)
    harness.check(cli.board.flash() == image, "the flash differs from the image")


def interrupt_group(arguments):
    """Ctrl-C while blocks go out: exit 130, the way out's reboot, and the port closed."""
    cli = Cli(arguments, "interrupt")
    try:
        image = large_image(os.path.join(cli.work, "large.mot"), 512)
        process = cli.start(image, "--fast")
        programming = wait_for_blocks(cli, 5)
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


def signals_group(arguments):
    """Only the operator stops a run: a closed pipe ends the printing, SIGHUP stops like SIGTERM
    with 129, and a Ctrl-C while [01] settles stops the run there."""
    cli = Cli(arguments, "pipe")
    try:
        log_file = os.path.join(cli.work, "run.log")
        command = " ".join("'%s'" % part for part in cli.command(
            "write", cli.path(DEMO), "--port", cli.port, "--fast", "--log", log_file))
        result = subprocess.run(["bash", "-c", "set -o pipefail; %s | head -n 3" % command],
                                capture_output=True, text=True, timeout=120)
        harness.check(result.returncode == 0, "exit %d: %s" % (result.returncode, result.stderr))
        harness.check(result.stdout.count("\n") == 3, "head printed %r" % result.stdout)
        harness.check(harness.poll(lambda: cli.board.count("reboot") == 1, 5), "no reboot")
        with open(log_file) as file:
            harness.check(DEMO_COMPLETED.match(last_line(file.read())),
                          "the log file lacks lines")
    finally:
        cli.board.stop()
    image, _ = harness.image_of(DEMO)
    harness.check(cli.board.flash() == image, "the flash differs from the image")

    cli = Cli(arguments, "hangup")
    try:
        process = cli.start(large_image(os.path.join(cli.work, "large.mot"), 512), "--fast")
        programming = wait_for_blocks(cli, 5)
        process.send_signal(signal.SIGHUP)
        _, err = process.communicate(timeout=30)
        harness.check(programming, "the blocks never started")
        harness.check(process.returncode == 129, "exit %d: %s" % (process.returncode, err))
        harness.check("SIGHUP" in err and "Ctrl-C" not in err, "standard error: %r" % err)
        harness.check(harness.poll(lambda: cli.board.way_out_resets() == 1, 5),
                      "the way out did not reboot the board")
    finally:
        cli.board.stop()

    cli = Cli(arguments, "settle")
    try:
        process = cli.start(DEMO, "--fast")
        tested = harness.poll(lambda: cli.board.count("close") >= 1, 30, 0.01)
        process.send_signal(signal.SIGINT)
        _, err = process.communicate(timeout=30)
        harness.check(tested, "the connection test never closed the port")
        harness.check(process.returncode == 130 and "during step [01]" in err,
                      "exit %d: %s" % (process.returncode, err))
        harness.check(cli.board.count("open") == 1, "the board was reset into boot mode")
    finally:
        cli.board.stop()


def ports_group(arguments):
    """Each reason a port cannot be used gets a line of its own."""
    cli = Cli(arguments, "ports")
    cli.board.stop()
    regular = os.path.join(cli.work, "regular-file")
    with open(regular, "w") as file:
        file.write("not a port\n")
    for port, text in ((os.path.join(cli.work, "missing"), "no such port"),
                       (regular, "not a serial port"), (cli.work, "not a serial port")):
        result = subprocess.run(cli.command("write", DEMO, "--port", port, "--fast"),
                                capture_output=True, text=True, timeout=60)
        harness.check(result.returncode == 11, "%s gave exit %d" % (port, result.returncode))
        expect_one_line(result.stderr, "cannot use the port %s: %s" % (port, text))
    result = subprocess.run(cli.command("write", DEMO, "--port", ""), capture_output=True,
                            text=True)
    harness.check(result.returncode == 2, "an empty port name gave exit %d" % result.returncode)
    expect_one_line(result.stderr, "--port")
    # Two names of one device, as a by-id link and the device are, would be one board twice.
    alias = os.path.join(cli.work, "null-alias")
    if not os.path.lexists(alias):
        os.symlink("/dev/null", alias)
    for names, text in ((["/dev/null", alias], "/dev/null and %s are one port" % alias),
                        (["/dev/null", "/dev/null"], "/dev/null is given twice")):
        result = subprocess.run(cli.command("write", DEMO, "--port", names[0], "--port",
                                            names[1]), capture_output=True, text=True)
        harness.check(result.returncode == 2, "%s gave exit %d" % (names, result.returncode))
        expect_one_line(result.stderr, "--port: " + text)


def permission_group(arguments):
    """A port the user may not open says so; arranged by running as an unprivileged user."""
    setpriv = shutil.which("setpriv")
    if os.geteuid() != 0 or setpriv is None:
        raise harness.Skip("permission denied needs root to run velmora-cli as another user, "
                           "and setpriv")
    # Everything the user needs lies in a folder it may enter; only the device is closed to it.
    copy = tempfile.mkdtemp(prefix="velmora-cli-")
    os.chmod(copy, 0o755)
    board = harness.Board(arguments.board_sim, os.path.join(copy, "board"), [])
    try:
        program = os.path.join(copy, "velmora-cli")
        shutil.copy(arguments.cli, program)
        demo = os.path.join(copy, "demo.mot")
        shutil.copy(DEMO, demo)
        os.chmod(demo, 0o644)
        os.chmod(os.path.realpath(board.link), 0o600)
        result = subprocess.run([setpriv, "--reuid", "nobody", "--regid", "nogroup",
                                 "--clear-groups", program, "write", demo, "--port", board.link,
                                 "--fast"], capture_output=True, text=True, timeout=60)
    finally:
        board.stop()
        shutil.rmtree(copy)
    if result.returncode in (126, 127):
        raise harness.Skip("the unprivileged user cannot run velmora-cli: %s"
                           % result.stderr.strip())
    harness.check(result.returncode == 11, "exit %d: %s" % (result.returncode, result.stderr))
    expect_one_line(result.stderr, "cannot use the port %s: permission denied" % board.link)


def info_group(arguments):
    """info's estimate: the parts it lists add up to its total; a file that gives the flash
    nothing is refused."""
    work = os.path.join(arguments.work, "info")
    os.makedirs(work, exist_ok=True)
    for name, text in (("notes.mot", "Release notes\n"), ("intel.mot", ":00000001FF\n"),
                       ("ends.mot", "S0030000FC\nS9030000FC\n")):
        empty = os.path.join(work, name)
        with open(empty, "w") as file:
            file.write(text)
        result = subprocess.run([arguments.cli, "info", empty], capture_output=True, text=True)
        harness.check(result.returncode == 3, "info %s gave exit %d" % (name, result.returncode))
        expect_one_line(result.stderr, "nothing to program")
    result = subprocess.run([arguments.cli, "info", DEMO], capture_output=True, text=True)
    harness.check(result.returncode == 0, "exit %d: %s" % (result.returncode, result.stderr))
    estimates = [
        r"takes about \d+ min \d+ s \((\d+\.\d) s\): (\d+\.\d) s of the steps' fixed delays and "
        r"(\d+\.\d) s of the blocks' \(18 sent, 200 ms each",
        r"With --fast about \d+ min \d+ s \((\d+\.\d) s\): (\d+\.\d) s of the waits for the "
        r"port's openings, (\d+\.\d) s for the board's erase, (\d+\.\d) s of the blocks "
        r"\(.*\), (\d+\.\d) s of the other steps' replies"]
    for estimate in estimates:
        match = re.search(estimate, result.stdout)
        harness.check(match, "standard output:\n%s" % result.stdout)
        tenths = [round(float(value) * 10) for value in match.groups()]
        harness.check(tenths[0] == sum(tenths[1:]), "the parts do not add up: %s" % match.group(0))
    harness.check(re.search(r"\n--verify adds about \d+\.\d s to it, --read-back \d+\.\d s more\n"
                            r"(.*\n)--fast --verify adds about \d+\.\d s to it, --fast --read-back "
                            r"\d+\.\d s more\n", result.stdout),
                  "standard output:\n%s" % result.stdout)


# The program that the formats group links: the demo's vector table and code in ROM, and data
# that the code copies into RAM, stored behind the code (AT), with a .bss tail after it in RAM.
LINK_SCRIPT = """TARGET(binary)
OUTPUT_FORMAT(elf32-big)
INPUT(vectors.bin code.bin data.bin)
MEMORY { rom : ORIGIN = 0, LENGTH = 512K
         ram : ORIGIN = 0xFF2000, LENGTH = 40K }
PHDRS { vectors PT_LOAD; text PT_LOAD; data PT_LOAD; }
SECTIONS {
  .vectors 0 : { vectors.bin(.data) } > rom :vectors
  .text 0x1000 : { code.bin(.data) } > rom :text
  .data : { data.bin(.data) } > ram AT > rom :data
  .bss (NOLOAD) : { . += 0x100; } > ram :data
}
"""
EM_H8_300H = 47


def tool(*command, cwd):
    subprocess.run(command, cwd=cwd, check=True, capture_output=True, timeout=60)


def program_headers(path):
    """The (p_vaddr, p_paddr, p_filesz, p_memsz) of every PT_LOAD of a big-endian ELF32 file."""
    with open(path, "rb") as file:
        elf = file.read()
    phoff, = struct.unpack_from(">I", elf, 28)
    phentsize, phnum = struct.unpack_from(">HH", elf, 42)
    headers = [struct.unpack_from(">8I", elf, phoff + i * phentsize) for i in range(phnum)]
    return [header[2:6] for header in headers if header[0] == 1]


def set_machine(path, machine):
    """GNU ld links for the generic big-endian ELF32 target (Debian's binutils know no H8): the
    machine field is the only one it cannot fill in."""
    with open(path, "r+b") as file:
        file.seek(18)
        file.write(struct.pack(">H", machine))


def make_program(work):
    """Links the program with GNU ld and writes it as S-records with objcopy (the reference), as
    Intel HEX with srec_cat, and its code alone as S-records and as a raw binary."""
    for name in ("ld", "objcopy", "srec_cat"):
        if shutil.which(name) is None:
            raise harness.Skip("%s is missing: run scripts/install-deps.sh" % name)
    tool("srec_cat", DEMO, "-crop", "0", "0x100", "-o", "vectors.bin", "-binary", cwd=work)
    tool("srec_cat", DEMO, "-crop", "0x1000", "0x1800", "-offset", "-0x1000", "-o", "code.bin",
         "-binary", cwd=work)
    with open(os.path.join(work, "data.bin"), "wb") as file:
        file.write(b"initial data, copied into RAM at start-up. " * 2)
    with open(os.path.join(work, "link.ld"), "w") as file:
        file.write(LINK_SCRIPT)
    tool("ld", "-T", "link.ld", "-o", "program.elf", cwd=work)
    tool("objcopy", "-O", "srec", "program.elf", "program.mot", cwd=work)
    set_machine(os.path.join(work, "program.elf"), EM_H8_300H)
    tool("srec_cat", "program.mot", "-o", "program.hex", "-intel", cwd=work)
    tool("srec_cat", "program.mot", "-crop", "0x1000", "0x2000", "-o", "code.mot", cwd=work)
    tool("srec_cat", "code.mot", "-offset", "-0x1000", "-o", "code.bin", "-binary", cwd=work)
    # Sections without program headers: nothing says where to load them.
    tool("objcopy", "-I", "srec", "-O", "elf32-big", "program.mot", "relocatable.elf", cwd=work)
    set_machine(os.path.join(work, "relocatable.elf"), EM_H8_300H)
    return {name: os.path.join(work, name) for name in
            ("program.elf", "program.mot", "program.hex", "code.mot", "code.bin",
             "relocatable.elf")}


def formats_group(arguments):
    """An ELF file from GNU ld, an Intel HEX file from srec_cat and a binary at an offset each
    leave the flash as the S-records of the same program do; what cannot be programmed is refused
    before the port is opened."""
    work = os.path.join(arguments.work, "formats")
    os.makedirs(work, exist_ok=True)
    files = make_program(work)
    loads = program_headers(files["program.elf"])
    harness.check(any(vaddr != paddr and memsz > filesz for vaddr, paddr, filesz, memsz in loads),
                  "no segment loads elsewhere than it runs, with a .bss tail: %s" % loads)
    cases = [("program.elf", ["--verify"], "program.mot",
              "Parsing ELF ...Ok.\n\nELF information \n=============== \n"
              "  segments count     = 3 \n"),
             ("program.hex", [], "program.mot", "Parsing Intel HEX ...Ok.\n"),
             ("code.bin", ["--format", "bin", "--offset", "0x1000"], "code.mot",
              "binary information \n================== \n"
              "  binary codes/datas = 2134 bytes \n  address startes    = 0x00001000 \n"
              "  address ends       = 0x00001855 \n")]
    for name, options, reference, summary in cases:
        cli = Cli(arguments, "formats-" + name.replace(".", "-"))
        try:
            code, out, err = cli.write(files[name], "--fast", *options)
        finally:
            cli.board.stop()
        harness.check(code == 0, "%s: exit %d: %s" % (name, code, err))
        harness.check(summary in out, "%s: standard output:\n%s" % (name, out))
        image, _ = harness.image_of(files[reference])
        harness.check(cli.board.flash() == image, "%s: the flash differs from %s" % (name,
                                                                                     reference))

    overlap = os.path.join(work, "overlap.mot")
    with open(overlap, "w") as file:
        file.write("S00600004844521B\nS1070100AABBCCDDE9\nS1050102CCEE3D\n")
    # Files cut at a line's end: without their last line.
    cut = {}
    for name in ("program.hex", "program.mot"):
        with open(files[name]) as file:
            lines = file.read().splitlines()
        cut[name] = os.path.join(work, "cut-" + name)
        with open(cut[name], "w") as file:
            file.write("\n".join(lines[:-1]) + "\n")
        cut[name + " lines"] = len(lines) - 1
    refusals = [
        (["info", overlap], 3, "line 3 and line 2: overlapping data differs: at 0x00000103 "
                               "line 3 gives 0xEE, line 2 0xDD"),
        (["info", files["relocatable.elf"]], 3,
         "refused: no loadable data: no PT_LOAD segment has a non-zero file size"),
        (["info", files["code.bin"], "--offset", "0x1000"], 2, "--offset needs --format bin"),
        (["write", files["code.bin"], "--port", "unused", "--format", "bin", "--offset", "4k"], 2,
         "--offset: not an address: 4k"),
        (["info", files["code.bin"], "--format", "bin", "--offset", "0x7F800"], 3,
         "offset 0x0007F800: data at 0x0007F800-0x00080055 lies outside the 524288-byte user "
         "MAT"),
        (["info", cut["program.hex"]], 3,
         "line %d: the file ends without an end-of-file record (type 01): it may be cut short"
         % cut["program.hex lines"]),
        (["write", cut["program.mot"], "--port", "unused"], 3,
         "line %d: the records end with an S" % cut["program.mot lines"]),
    ]
    for command, exit_code, text in refusals:
        result = subprocess.run([arguments.cli] + command, capture_output=True, text=True,
                                timeout=60)
        harness.check(result.returncode == exit_code, "%s: exit %d" % (command, result.returncode))
        expect_one_line(result.stderr, text)
    result = subprocess.run([arguments.cli, "info", cut["program.mot"], "--allow-unterminated"],
                            capture_output=True, text=True, timeout=60)
    harness.check(result.returncode == 0, "a cut file allowed: exit %d: %s"
                  % (result.returncode, result.stderr))


def start_boards(arguments, name, faults):
    """One simulated board a fault list, linked at board1, board2 ... of a folder of their own."""
    work = os.path.join(arguments.work, name)
    os.makedirs(work, exist_ok=True)
    return [harness.Board(arguments.board_sim, os.path.join(work, "board%d" % (i + 1)), options)
            for i, options in enumerate(faults)]


# Where the serial numbers go: blank in velmora-demo.mot's image, past its end.
SERIAL_PLACE = 0x7FF00


def numbered(image, serial):
    """The flash of a board that got `serial` as u32be at SERIAL_PLACE, the rest the image."""
    flash = bytearray(image)
    flash[SERIAL_PLACE:SERIAL_PLACE + 4] = struct.pack(">I", serial)
    return bytes(flash)


def history_rows(arguments, record):
    result = subprocess.run([arguments.cli, "history", "--record", record, "--json"],
                            capture_output=True, text=True, timeout=60)
    harness.check(result.returncode == 0, "history: %s" % result.stderr)
    return [json.loads(line) for line in result.stdout.splitlines()]


def results_of(stdout):
    return [event for event in map(json.loads, stdout.splitlines()) if event["event"] == "result"]


def shared_group(arguments):
    """Two processes on one PostgreSQL database, two boards each, at once: four different
    numbers, each in its board's flash."""
    image, _ = harness.image_of(DEMO)
    with PostgresServer() as server:
        boards = start_boards(arguments, "shared", [[], [], [], []])
        try:
            first = subprocess.run([arguments.cli, "write", DEMO, "--serial", "0x7FF00",
                                    "--record", server.uri, "--serial-start", "700", "--port",
                                    boards[0].link, "--fast", "--quiet"],
                                   capture_output=True, text=True, timeout=120)
            harness.check(first.returncode == 0, "the first: %s" % first.stderr)
            stations = [subprocess.Popen(
                [arguments.cli, "write", DEMO, "--fast", "--json", "--serial", "0x7FF00",
                 "--record", server.uri, "--port", pair[0].link, "--port", pair[1].link],
                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                for pair in (boards[0:2], boards[2:4])]
            handed = {}
            for station in stations:
                out, err = station.communicate(timeout=120)
                harness.check(station.returncode == 0, "a station: %s" % err)
                handed.update((event["port"], event["serial"]) for event in results_of(out))
        finally:
            for board in boards:
                board.stop()
        harness.check(sorted(handed.values()) == [701, 702, 703, 704],
                      "the stations handed out %s" % handed)
        for number, board in enumerate(boards, 1):
            harness.check(board.flash() == numbered(image, handed["board%d" % number]),
                          "%s: the flash is not the image with its number" % board.link)
        harness.check(sorted(row["serial"] for row in history_rows(arguments, server.uri)) ==
                      [700, 701, 702, 703, 704], "the record")


def opening_counts(board):
    """For each run up to the board's reboot, since the one before: the board's "open" records
    and the closings of its device that it counted, one for every opening by anyone (its count
    of openings lags behind the records)."""
    totals = []
    records, closed = 0, 0
    for event in board.events():
        if event["kind"] == "open":
            records += 1
        if event["kind"] == "close":
            closed = event["close_events"]
        if event["kind"] == "reboot":
            totals.append((records, closed))
    return [(records - (totals[i - 1][0] if i else 0), closed - (totals[i - 1][1] if i else 0))
            for i, (records, closed) in enumerate(totals)]


def held_group(arguments):
    """The port is the run's own from its first opening to its last closing: a second velmora-cli,
    started again and again through a run by another name of the port, is refused before it opens
    the device, and names the run that holds it."""
    image, _ = harness.image_of(DEMO)
    cli = Cli(arguments, "held")
    try:
        code, _, err = cli.write(DEMO, "--fast")
        harness.check(code == 0, "the run alone: exit %d: %s" % (code, err))
        alias = os.path.join(cli.work, "alias")
        if not os.path.lexists(alias):
            os.symlink(cli.port, alias)
        device = os.path.realpath(cli.port)
        lock = "/run/lock/LCK.." + device[len("/dev/"):].replace("/", "_")
        first = cli.start(DEMO, "--fast")
        held = harness.poll(lambda: os.path.exists(lock), 30, 0.01)
        with open(lock) as file:
            text = file.read()
        harness.check(held and text == "%10d\n" % first.pid, "the lock file holds %r" % text)
        refused, last = [], None
        while first.poll() is None:
            second = subprocess.run(cli.command("write", DEMO, "--port", alias, "--fast"),
                                    capture_output=True, text=True, timeout=120)
            if first.poll() is None:
                refused.append(second)
            else:
                last = second
        first.communicate(timeout=30)
        harness.check(first.returncode == 0, "the run: exit %d" % first.returncode)
        harness.check(len(refused) >= 5, "only %d tries during the run" % len(refused))
        for second in refused:
            harness.check(second.returncode == 11, "a try gave exit %d: %s"
                          % (second.returncode, second.stderr))
            expect_one_line(second.stderr, "cannot use the port %s: busy: velmora-cli (pid %d) is "
                                           "programming it" % (alias, first.pid))
        harness.check(last is not None or not os.path.exists(lock), "the lock outlived the run")
        counts = opening_counts(cli.board)
        harness.check(len(counts) >= 2 and counts[1] == counts[0],
                      "openings of the run alone, and of the run tried: %s" % counts)
    finally:
        cli.board.stop()
    harness.check(cli.board.flash() == image, "the flash differs from the image")


def text_group(arguments):
    """Names that are not UTF-8: the file opens as given, and every --json line is UTF-8 JSON
    that has U+FFFD for their bytes."""
    image, _ = harness.image_of(DEMO)
    cli = Cli(arguments, "text")
    work = os.fsencode(cli.work)
    firmware = work + b"/fw-\xff\xfe.mot"
    shutil.copy(DEMO, firmware)
    port = work + b"/board-\xe9"
    if not os.path.lexists(port):
        os.symlink(os.fsencode(cli.port), port)
    try:
        result = subprocess.run([os.fsencode(arguments.cli), b"write", firmware, b"--port", port,
                                 b"--fast", b"--json"], capture_output=True, timeout=120)
    finally:
        cli.board.stop()
    harness.check(result.returncode == 0, "exit %d: %r" % (result.returncode, result.stderr))
    events = []
    for line in result.stdout.splitlines():
        try:
            events.append(json.loads(line.decode("utf-8")))
        except ValueError as error:
            raise AssertionError("not UTF-8 JSON: %r (%s)" % (line, error))
    harness.check(all(event["port"] in (None, "board-\ufffd") for event in events),
                  "ports: %s" % sorted(set(str(event["port"]) for event in events)))
    logged = [event["text"] for event in events if event["event"] == "log"]
    harness.check("Loading file : %s/fw-\ufffd\ufffd.mot ... Ok." % cli.work in logged and
                  "[01] CONNECT TEST : %s/board-\ufffd" % cli.work in logged,
                  "the log: %s" % logged[:12])
    harness.check(events[-1]["event"] == "result" and events[-1]["ok"], "%s" % events[-1])
    harness.check(cli.board.flash() == image, "the flash differs from the image")


class TerminalErrors:
    """Standard error on a pseudo-terminal, read as it comes, as a person at a terminal sees it."""

    def __init__(self):
        self.master, self.slave = pty.openpty()
        self.chunks = []
        self.reader = threading.Thread(target=self._read)
        self.reader.start()

    def _read(self):
        while True:
            try:
                chunk = os.read(self.master, 4096)
            except OSError:
                return
            if not chunk:
                return
            self.chunks.append(chunk)

    def text(self):
        """Everything written, once the program has ended."""
        os.close(self.slave)
        self.reader.join(10)
        os.close(self.master)
        return b"".join(self.chunks).decode(errors="replace")



class LineReader:
    """A program's standard output read line by line as it comes, on a thread of its own."""

    def __init__(self, stream):
        self.lines = []
        self.reader = threading.Thread(target=self._read, args=(stream,))
        self.reader.start()

    def _read(self, stream):
        for line in stream:
            self.lines.append(line)

    def events(self):
        return [json.loads(line) for line in list(self.lines)]

    def join(self):
        self.reader.join(10)


def station_group(arguments):
    """A station on one fixture: the first board is programmed once although it stays in, the
    second once it is put in after the first was taken out, each with the image and its own
    number, its row in the record, "waiting" and "removed" objects, and the end at --count 2; on
    a terminal the port's line tells the operator what to do."""
    image, _ = harness.image_of(DEMO)
    work = os.path.join(arguments.work, "station")
    record = os.path.join(work, "records.sqlite")
    if os.path.exists(record):
        os.remove(record)
    board = start_boards(arguments, "station", [["--removable"]])[0]
    process = None
    try:
        process = subprocess.Popen(
            [arguments.cli, "write", DEMO, "--port", board.link, "--repeat", "--count", "2",
             "--fast", "--json", "--serial", "0x7FF00", "--serial-start", "5012",
             "--record", record], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        output = LineReader(process.stdout)

        def results():
            return [event for event in output.events() if event["event"] == "result"]

        harness.check(harness.poll(lambda: len(results()) == 1, 60), "no first result")

        def since_programmed():
            events = board.events()
            ends = [i for i, event in enumerate(events) if event["kind"] == "end-of-programming"]
            return events[ends[0] + 1:] if ends else []

        # Left in, the board answers probe after probe, and no run starts on it again (a run's
        # handshake follows its matching).
        harness.check(harness.poll(lambda: sum(1 for event in since_programmed()
                                               if event["kind"] == "matching" and
                                               event["answered"]) >= 3, 30),
                      "the board left in was not probed")
        harness.check(not any(event["kind"] == "rx" and event["bytes"] == "55"
                              for event in since_programmed()) and len(results()) == 1,
                      "the board left in was programmed twice")
        board.process.send_signal(signal.SIGUSR1)
        harness.check(harness.poll(lambda: any(event["event"] == "removed"
                                               for event in output.events()), 30),
                      "the board taken out was not noticed")
        board.process.send_signal(signal.SIGUSR2)
        process.wait(90)
        output.join()
        err = process.stderr.read()
    finally:
        if process is not None and process.poll() is None:
            process.kill()
        board.stop()
    harness.check(process.returncode == 0, "exit %d: %s" % (process.returncode, err))
    events = output.events()
    kinds = [event["event"] for event in events if event["event"] in ("waiting", "removed",
                                                                       "result")]
    harness.check(kinds == ["waiting", "result", "removed", "waiting", "result"],
                  "the station's objects: %s" % kinds)
    harness.check(all(event["port"] == "board1" for event in events
                      if event["event"] in ("waiting", "removed", "result")),
                  "a station's object for another port")
    harness.check([(event["ok"], event["serial"]) for event in results_of("".join(output.lines))]
                  == [(True, 5012), (True, 5013)], "results: %s" % results_of("".join(output.lines)))
    for number, serial in ((1, 5012), (2, 5013)):
        with open("%s.%d" % (board.dump, number), "rb") as file:
            harness.check(file.read() == numbered(image, serial),
                          "board %d: the flash is not the image with %d" % (number, serial))
    rows = history_rows(arguments, record)
    harness.check([(row["serial"], row["ok"]) for row in rows] == [(5012, True), (5013, True)],
                  "rows: %s" % rows)

    # On a terminal: the port's line while it waits and once its board is done.
    cli = Cli(arguments, "station-terminal", ["--removable"])
    terminal = TerminalErrors()
    try:
        result = subprocess.run(cli.command("write", cli.path(DEMO), "--port", cli.port, "--fast",
                                            "--repeat", "--count", "1", "--serial", "0x7FF00",
                                            "--serial-start", "7000"),
                                stdout=subprocess.PIPE, stderr=terminal.slave, text=True,
                                timeout=120)
    finally:
        cli.board.stop()
        shown = terminal.text()
    harness.check(result.returncode == 0, "exit %d: %r" % (result.returncode, shown))
    harness.check("waiting for a board" in shown and
                  "PASS 7000 \u2014 take the board out" in shown, "standard error: %r" % shown)


GROUPS = {"success": success_group, "interrupt": interrupt_group, "signals": signals_group,
          "ports": ports_group, "permission": permission_group, "info": info_group,
          "formats": formats_group, "held": held_group, "text": text_group,
          "shared": shared_group, "station": station_group}


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
