"""Whole update runs of Velmora.exe under Wine against the simulated board on COM11: the exact
log of a successful run, the flash it leaves, the failing runs with their texts and ways out, and
Write pressed again the moment a run ends.

Each group of scenarios runs in a Wine prefix of its own, so groups can run in parallel.
"""

import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import velmora_harness as harness  # noqa: E402

PORT = "COM11"
BROWSE = 1021
WRITE = 1022

# The transcript of a successful run on PORT (tests/data), as the log shows it.
SUCCESSFUL_RUN = "successful_run"
NO_FIRMWARE = "FW File(MOT) not loaded.\nBefore starting program for update, load FW first."
REFUSED = "Update is running: close the window after it has ended."


def run_before(marker):
    """The successful run's transcript up to marker: the log of a run that failed there."""
    return harness.transcript_before(SUCCESSFUL_RUN, PORT, marker)


def preamble():
    return run_before("[01] CONNECT TEST")


def through_approval():
    return run_before("----> Ok.\r\n\r\n[04] SUPPORT MODE CHECK")


def models(names):
    text = "---> Models :\r\n"
    for number, name in enumerate(names, 1):
        text += " ... %02d) %s\r\n" % (number, name)
    return text


def through_devices(names=None):
    """The log up to the device list: the board's default one, or these names."""
    if names is None:
        return run_before("----> Ok.\r\n\r\n[05] PROGRAMMING MODE INQ.")
    return run_before("---> Models :") + models(names)


def through_programming_state():
    """Steps [01] to [10] and the start of [11], as a run that reaches the blocks logs them."""
    return run_before("----> Ok.\r\n\r\n[12] REBOOTING")


class Velmora:
    """Velmora.exe in the prefix, operated through the driver."""

    def __init__(self, wine):
        self.wine = wine
        self.process = wine.launch_velmora()
        harness.check(wine.driver_call("wait-dialog", "30000")["ok"], "no main dialog")
        harness.check(wine.driver_call("select-port", PORT)["ok"], "%s is not listed" % PORT)

    def state(self):
        state = self.wine.driver_call("state")
        harness.check(state["ok"], "the main dialog is gone")
        return state

    def load(self, path):
        harness.check(self.wine.driver_call("click", str(BROWSE))["ok"], "browse click failed")
        answer = self.wine.driver_call("open-file", "Z:" + path.replace("/", "\\"), "20000")
        harness.check(answer["ok"], "open-file dialog: %s" % answer)
        loaded = harness.poll(lambda: self.state()["status"].startswith("Parsing completed"), 20)
        harness.check(loaded, "the firmware did not load")

    def write(self, ends_with, timeout=180):
        """Presses Write and waits until the run has given the controls back with the log ending
        in ends_with; returns the final state."""
        harness.check(self.wine.driver_call("click", str(WRITE))["ok"], "write click failed")
        return self.wait_run_end(ends_with, timeout)

    def wait_run_end(self, ends_with, timeout=180):
        escaped = ends_with.replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n")
        state = self.wine.driver_call("wait-run-end", escaped, str(timeout * 1000),
                                      timeout=timeout + 60)
        harness.check(state["ok"], "the run did not end as expected; log:\n%s"
                      % self.state()["log"])
        return state

    def close(self):
        harness.check(self.wine.driver_call("close")["ok"], "close failed")
        code = harness.wait_for_exit(self.process, 30)
        harness.check(code == 0, "Velmora exit code %r" % code)


def check_log(state, expected):
    harness.check(state["log"] == expected,
                  "log differs.\n--- got:\n%s\n--- expected:\n%s" % (state["log"], expected))


def check_controls_back(state):
    enabled = state["enabled"]
    harness.check(enabled["port"] and enabled["browse"] and enabled["write"],
                  "controls not given back: %r" % enabled)
    harness.check(not enabled["check"], "the check box was enabled")


def check_marquee_off(state):
    harness.check(not state["progress"]["marquee"], "the bar is still in marquee mode")


def sample_path(arguments):
    return os.path.join(os.path.abspath(arguments.source_dir), "samples", "velmora-demo.mot")


def resets_by_way_out(expected):
    """A board check: the run's way out reset the board this many times."""
    def check(state, board):
        harness.check(harness.poll(lambda: board.way_out_resets() == expected, 10),
                      "%s: %d resets after the run, expected %d"
                      % (board.options, board.way_out_resets(), expected))
    return check


def failing_run(velmora, wine, arguments, options, expected_end, check_board):
    """One run against a board started with options: it ends with expected_end, gives the
    controls back with the bar out of marquee mode, and check_board(state, board) judges what the
    board saw. Returns the final state and the stopped board."""
    board = harness.Board(arguments.board_sim, os.path.join(wine.ports_dir, PORT.lower()), options)
    try:
        state = velmora.write(expected_end)
        check_marquee_off(state)
        check_controls_back(state)
        check_board(state, board)
        return state, board
    finally:
        board.stop()


# --- scenario groups -------------------------------------------------------------------------

def success_group(wine, arguments):
    sample = sample_path(arguments)
    image, blocks = harness.image_of(sample)
    velmora = Velmora(wine)
    before = velmora.state()["log"]

    # Write with nothing loaded: only the error box; the log keeps its text.
    harness.check(wine.driver_call("click", str(WRITE))["ok"], "write click failed")
    box = wine.driver_call("message-box", "Error", "20000")
    harness.check(box["ok"] and box["text"] == NO_FIRMWARE, "error box: %r" % box)
    harness.check(velmora.state()["log"] == before, "the log changed without firmware")

    velmora.load(sample)
    board = harness.Board(arguments.board_sim, os.path.join(wine.ports_dir, PORT.lower()), ["--erase-time", "1"])
    try:
        done = "[12] REBOOTING\r\n.---> Ok.\r\n\r\n"
        state = velmora.write(done)
        check_log(state, harness.transcript(SUCCESSFUL_RUN, PORT))
        harness.check(state["status"] == "Completed.", "status %r" % state["status"])
        progress = state["progress"]
        harness.check(progress["high"] == blocks and progress["position"] == blocks,
                      "progress %r, expected %d of %d" % (progress, blocks, blocks))
        check_marquee_off(state)
        check_controls_back(state)
        harness.check(harness.poll(lambda: board.count("reboot") == 1, 10), "no reboot seen")
        harness.check(board.flash() == image, "the flash differs from the image of the file")

        # A second run clears the log and starts again from [01]. Closing the window while it
        # runs is refused with a box, once however often it is asked; the run is not cut short
        # and its log holds exactly its own lines.
        harness.check(wine.driver_call("click", str(WRITE))["ok"], "write click failed")
        running = harness.poll(lambda: "[03] APPORVAL" in velmora.state()["log"], 30)
        harness.check(running, "the second run did not start")
        harness.check(wine.driver_call("close")["ok"], "close failed")
        harness.check(wine.driver_call("close")["ok"], "second close failed")
        box = wine.driver_call("message-box", "Velmora", "20000")
        harness.check(box["ok"] and box["text"] == REFUSED, "refusal box: %r" % box)
        second = wine.driver_call("message-box", "Velmora", "1000")
        harness.check(not second["ok"], "the second close brought a second box")
        harness.check(harness.wait_for_exit(velmora.process, 3) is None,
                      "the window closed during a run")
        state = velmora.wait_run_end(done)
        check_log(state, harness.transcript(SUCCESSFUL_RUN, PORT))
        harness.check(state["status"] == "Completed.", "status %r" % state["status"])
        harness.check(harness.poll(lambda: board.count("reboot") == 2, 10), "no second reboot")
    finally:
        board.stop()
    velmora.close()


def early_failures_group(wine, arguments):
    velmora = Velmora(wine)
    velmora.load(sample_path(arguments))

    def scenario(options, expected_end):
        # Every way out here is "Stop and reboot": one reset.
        return failing_run(velmora, wine, arguments, options, expected_end, resets_by_way_out(1))

    # No bit-rate match within 30 bytes: [03] fails without a report of the module.
    end = "[03] APPORVAL \r\nConnecting COM port via 9600bps ...\r\n----> Failed\r\n"
    state, _ = scenario(["--never-match"], end)
    check_log(state, through_approval() + "----> Failed\r\n")

    # 0x55 answered with another byte: the module reports the failed boot response.
    state, _ = scenario(["--handshake-reply", "0x00"], "----> Failed\r\n")
    harness.check(state["log"].startswith(through_approval() + "Error occured : "
                                          "ModUpdate1527::ConnectApprove() - "),
                  "no boot-response report: %s" % state["log"])

    # No entry names the supported device: every model listed, then the stop.
    names = ["H8SX 1520R(33MHz)", "H8SX 1527R(50MHz)"]
    end = "---> no supported mode found !\r\nSTOP.\r\n"
    state, _ = scenario(["--device", "15200033:" + names[0], "--device", "15270050:" + names[1]],
                        end)
    check_log(state, through_devices(names) + end)

    # Two matching entries: the first is selected (the board receives its code); the clock mode
    # is then refused, which stops and reboots.
    names = ["H8SX 1520R(40MHz) rev A", "H8SX 1520R(40MHz) rev B"]
    end = "---> failed to set default clock mode !\r\n"
    state, board = scenario(["--device", "15200041:" + names[0],
                             "--device", "15200042:" + names[1],
                             "--reject-command", "0x11"], end)
    check_log(state, through_devices(names)
              + "----> Ok.\r\n\r\n[05] PROGRAMMING MODE INQ.\r\n"
              + "----> Ok.\r\n\r\n[06] DEVICE SELECTION.\r\n"
              + "----> Ok.\r\n\r\n[07] CLOCK MODE SET.\r\n" + end)
    # The board acknowledges only the first matching entry's code: [06] passing proves the choice.
    harness.check(not [event for event in board.events() if event.get("kind") == "violation"],
                  "the board saw protocol violations")

    # [06] refused: the [05] text is shown.
    end = "[06] DEVICE SELECTION.\r\n---> programing modes not found !\r\n"
    state, _ = scenario(["--reject-command", "0x10"], end)
    check_log(state, through_devices()
              + "----> Ok.\r\n\r\n[05] PROGRAMMING MODE INQ.\r\n"
              + "----> Ok.\r\n\r\n" + end)
    velmora.close()


def late_failures_group(wine, arguments):
    velmora = Velmora(wine)
    velmora.load(sample_path(arguments))

    def last_port_event(board):
        ports = [event["kind"] for event in board.events()
                 if event.get("kind") in ("open", "close")]
        return ports[-1] if ports else None

    def closed_without_reboot(step):
        def check(state, board):
            # The board logs a close a moment after the host's, together with the reset that a
            # close at 19200 bps causes: once its last port record is a close, that is all there.
            harness.check(harness.poll(lambda: last_port_event(board) == "close", 5),
                          "the port was left open after %s" % step)
            harness.check(board.way_out_resets() == 0, "a reboot followed the %s failure" % step)
        return check

    def scenario(options, expected_end, check_board):
        state, _ = failing_run(velmora, wine, arguments, options, expected_end, check_board)
        return state

    # [09]: the port is closed, the board gets no reboot.
    end = "[09] CONFIRM BPS : 38400 \r\n---> failed to confirm BPS !\r\n"
    scenario(["--no-confirm"], end, closed_without_reboot("[09]"))

    # [10]: three texts, the port closed, no reboot.
    end = ("---> failed to set programming mode !\r\n\r\n[information]\r\n"
           "retry to update if failed in this sequence.\r\n")
    state = scenario(["--status-error", "0x01", "--erase-time", "1"], end,
                     closed_without_reboot("[10]"))
    check_log(state, run_before("----> Ok.\r\n\r\n[11] PROGRAMMING") + end)

    # A block answered 0xD0 0x2A: the address error, then one reboot.
    end = ("Error occured : ERROR : Programming stopped by address error - address is not in "
           "the MAT.\r\n\r\n---> failed to programming !\r\n")
    state = scenario(["--block-error", "1:0x2A", "--erase-time", "1"], end,
                     resets_by_way_out(1))
    check_log(state, through_programming_state() + end)

    # Six reboots that cannot open the port: six dots, the failure, and still "Completed.".
    failure = ".Error occured : ModUpdate1527::Reboot() - On Error while open COM port !\r\n"
    end = "[12] REBOOTING\r\n" + failure * 6 + "---> Failed to reboot !\r\n\r\n"
    state = scenario(["--reboot-link-removed", "--erase-time", "1"], end,
                     lambda state, board: harness.check(board.count("reboot") == 0,
                                                        "the board rebooted without its port"))
    check_log(state, through_programming_state() + "----> Ok.\r\n\r\n" + end)
    harness.check(state["status"] == "Completed.", "status %r" % state["status"])
    velmora.close()


def prompt_writes_group(wine, arguments):
    """Write pressed the moment each run gives the controls back, twenty times in a row: that
    run is still making its last calls into the dialog, and the window must not hang. With no
    board behind COM11 every run fails at once in [01]."""
    velmora = Velmora(wine)
    velmora.load(sample_path(arguments))
    runs, run_timeout = 20, 10
    answer = wine.driver_call("write-when-enabled", str(runs), str(run_timeout * 1000),
                              timeout=runs * 2 * run_timeout + 60)
    harness.check(answer["ok"], "prompt writes: %r" % answer)
    failed = ("[01] CONNECT TEST : %s\r\n"
              "Error occured : ModUpdate1527::OpenCom() - On Error while open COM port !\r\n"
              "----> Failed\r\n" % PORT)
    state = velmora.wait_run_end(failed, 30)
    check_log(state, preamble() + failed)
    check_marquee_off(state)
    check_controls_back(state)
    velmora.close()


GROUPS = {"success": success_group, "early-failures": early_failures_group,
          "late-failures": late_failures_group, "prompt-writes": prompt_writes_group}


def run():
    arguments = harness.parse_arguments({
        "--board-sim": {"required": True, "help": "path of velmora-board-sim"},
        "--group": {"required": True, "choices": sorted(GROUPS)}})
    if not os.access(arguments.board_sim, os.X_OK):
        raise harness.Skip("the simulated board %s is missing: build the linux preset first, or "
                           "set VELMORA_BOARD_SIM" % arguments.board_sim)
    wine = harness.Wine(arguments, "update-" + arguments.group)
    try:
        wine.ensure_prefix()
        started = time.monotonic()
        GROUPS[arguments.group](wine, arguments)
        print("%s: %.0f s" % (arguments.group, time.monotonic() - started))
    finally:
        wine.stop()


if __name__ == "__main__":
    harness.main(run)
