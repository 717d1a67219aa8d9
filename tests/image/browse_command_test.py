"""Loading a firmware file through the real "..." button and the real open-file dialog of
Velmora.exe under Wine: the log, status line and file-name box for every outcome."""

import os
import shutil
import stat
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import velmora_harness as harness  # noqa: E402

BROWSE = 1021
WRITE = 1022
NO_FIRMWARE = "FW File(MOT) not loaded.\nBefore starting program for update, load FW first."

# Three S1 lines of 16 data bytes at 0x1000, a header and a termination record.
SAMPLE = ("S00600004844521B\n"
          "S1131000000102030405060708090A0B0C0D0E0F64\n"
          "S1131010101112131415161718191A1B1C1D1E1F54\n"
          "S1131020202122232425262728292A2B2C2D2E2F44\n"
          "S9031000EC\n")


def expected_summary(records, data_bytes, end):
    return ("\r\nMOT/SRECORD information \r\n======================= \r\n"
            "  records count      = %d \r\n  binary codes/datas = %d bytes \r\n"
            "  address startes    = 0x%08X \r\n  address ends       = 0x%08X \r\n"
            % (records, data_bytes, 0, end))


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Browser:
    def __init__(self, wine):
        self.wine = wine

    def state(self):
        state = self.wine.driver_call("state")
        harness.check(state["ok"], "no main dialog")
        return state

    def choose(self, path, settle):
        """Presses "..." and answers the dialog with path (None cancels); waits until settle(state)
        holds and returns that state."""
        harness.check(self.wine.driver_call("click", str(BROWSE))["ok"], "click failed")
        if path is None:
            answer = self.wine.driver_call("cancel-file", "20000")
        else:
            answer = self.wine.driver_call("open-file", windows_path(path), "20000")
        harness.check(answer["ok"], "open-file dialog: %s" % answer)
        state = harness.poll(lambda: (lambda s: s if settle(s) else None)(self.state()), 20)
        harness.check(state, "the load did not settle; last state %r" % self.state())
        return state


def loads_a_file_and_shows_its_summary(browser, files):
    path = os.path.join(files, "fw", "app.mot")
    state = browser.choose(path, lambda s: s["status"].startswith("Parsing completed"))
    upper = windows_path(path).upper()
    expected = ("Loading file : %s ... Ok.\r\nParsing SRECORD ...Ok.\r\n" % upper
                + expected_summary(5, 3 * 19, 0x1020 + 0x13))
    harness.check(state["log"] == expected, "log:\n%r\nexpected:\n%r" % (state["log"], expected))
    harness.check(state["status"] == "Parsing completed. update is possible now.",
                  "status %r" % state["status"])
    harness.check(state["fileName"] == "APP.MOT", "file name %r" % state["fileName"])
    return state


def cancel_keeps_the_name_and_appends_two_lines(browser, loaded):
    state = browser.choose(None, lambda s: s["log"] != loaded["log"])
    expected = (loaded["log"] + "File not selected.\r\n"
                + "To update MCU Firmware, select a MOT file first.\r\n")
    harness.check(state["log"] == expected, "log after cancel %r" % state["log"])
    harness.check(state["fileName"] == "APP.MOT", "file name after cancel %r" % state["fileName"])
    harness.check(state["status"] == loaded["status"], "status changed on cancel")
    # Cancelling unloaded the firmware: Write refuses with its box and leaves the log alone.
    harness.check(browser.wine.driver_call("click", str(WRITE))["ok"], "write click failed")
    box = browser.wine.driver_call("message-box", "Error", "20000")
    harness.check(box["ok"] and box["text"] == NO_FIRMWARE, "error box: %r" % box)
    harness.check(browser.state()["log"] == expected, "Write changed the log")


def missing_file_reports_the_upper_case_path(browser, files):
    before = browser.state()
    path = os.path.join(files, "fw", "gone.mot")
    state = browser.choose(path, lambda s: s["log"] != before["log"])
    expected = before["log"] + "ERROR : file %s is not existed !\r\n" % windows_path(path).upper()
    harness.check(state["log"] == expected, "log %r" % state["log"])
    harness.check(state["fileName"] == " ", "file name %r" % state["fileName"])
    harness.check(state["status"] == before["status"], "status changed")


def empty_file_fails_to_parse(browser, files):
    path = os.path.join(files, "empty.mot")
    state = browser.choose(path, lambda s: s["status"].startswith("Parsing failed"))
    expected = ("Loading file : %s ... Ok.\r\nParsing SRECORD ...Failed.\r\n"
                % windows_path(path).upper())
    harness.check(state["log"] == expected, "log %r" % state["log"])
    harness.check(state["status"] == "Parsing failed. update is impossible.", "status")
    harness.check(state["fileName"] == " ", "file name %r" % state["fileName"])


def refused_file_names_its_line(browser, files):
    """A file whose third line does not add up: the failed parse as an empty file shows it, then
    one line naming the problem; the firmware is unloaded, so Write refuses to start."""
    path = os.path.join(files, "bad-sum.mot")
    state = browser.choose(path, lambda s: "BAD-SUM.MOT" in s["log"]
                           and s["log"].endswith("not 0xFF\r\n"))
    expected = ("Loading file : %s ... Ok.\r\nParsing SRECORD ...Failed.\r\n"
                "ERROR : line 3: checksum mismatch: its bytes add up to 0xFE, not 0xFF\r\n"
                % windows_path(path).upper())
    harness.check(state["log"] == expected, "log %r" % state["log"])
    harness.check(state["status"] == "Parsing failed. update is impossible.",
                  "status %r" % state["status"])
    harness.check(state["fileName"] == " ", "file name %r" % state["fileName"])
    harness.check(browser.wine.driver_call("click", str(WRITE))["ok"], "write click failed")
    box = browser.wine.driver_call("message-box", "Error", "20000")
    harness.check(box["ok"] and box["text"] == NO_FIRMWARE, "error box: %r" % box)
    harness.check(browser.state()["log"] == expected, "Write changed the log")


def plain_text_loads_with_nothing_in_it(browser, files):
    path = os.path.join(files, "readme.mot")
    state = browser.choose(path, lambda s: s["status"].startswith("Parsing completed")
                           and "README.MOT" in s["log"])
    expected = ("Loading file : %s ... Ok.\r\nParsing SRECORD ...Ok.\r\n"
                % windows_path(path).upper() + expected_summary(0, 0, 0))
    harness.check(state["log"] == expected, "log %r" % state["log"])


def read_only_and_non_ansi_paths_load(browser, files):
    for path in (os.path.join(files, "locked.mot"), os.path.join(files, "固件", "app.mot")):
        name = os.path.basename(path).upper()
        state = browser.choose(path, lambda s, n=name: s["status"].startswith("Parsing completed")
                               and windows_path(path).upper() in s["log"])
        harness.check(state["log"].endswith(expected_summary(5, 57, 0x1033)),
                      "%s: log %r" % (path, state["log"]))
        harness.check(state["fileName"] == name, "file name %r" % state["fileName"])


def file_too_large_to_hold_is_refused(browser, files):
    """A file beyond what a 32-bit program can hold: refused before any allocation, the
    firmware unloaded, the status line untouched."""
    before = browser.state()
    path = os.path.join(files, "huge.mot")
    state = browser.choose(path, lambda s: "HUGE.MOT" in s["log"] and s["log"].endswith("!\r\n"))
    expected = ("Loading file : %s ... Failed to load file : it is too large !\r\n"
                % windows_path(path).upper())
    harness.check(state["log"] == expected, "log %r" % state["log"])
    harness.check(state["status"] == before["status"], "status changed")
    harness.check(state["fileName"] == "HUGE.MOT", "file name %r" % state["fileName"])
    harness.check(browser.wine.driver_call("click", str(WRITE))["ok"], "write click failed")
    box = browser.wine.driver_call("message-box", "Error", "20000")
    harness.check(box["ok"] and box["text"] == NO_FIRMWARE, "error box: %r" % box)


def second_load_replaces_the_first(browser, files):
    first = os.path.join(files, "fw", "app.mot")
    second = os.path.join(files, "fw", "other.mot")
    browser.choose(first, lambda s: s["status"].startswith("Parsing completed")
                   and "\\APP.MOT" in s["log"])
    state = browser.choose(second, lambda s: s["status"].startswith("Parsing completed")
                           and "OTHER.MOT" in s["log"])
    harness.check("APP.MOT" not in state["log"], "the first load is still in the log")
    harness.check(state["log"].endswith(expected_summary(2, 8, 0x20008)),
                  "second summary %r" % state["log"])
    harness.check(state["fileName"] == "OTHER.MOT", "file name %r" % state["fileName"])


def make_files(directory):
    shutil.rmtree(directory, ignore_errors=True)
    for sub in ("fw", "固件"):
        os.makedirs(os.path.join(directory, sub))
    for path in ("fw/app.mot", "固件/app.mot", "locked.mot"):
        with open(os.path.join(directory, path), "w") as file:
            file.write(SAMPLE)
    os.chmod(os.path.join(directory, "locked.mot"), stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
    with open(os.path.join(directory, "fw", "other.mot"), "w") as file:
        file.write("S208020000112233444B\r\nS804000000FB\r\n")
    open(os.path.join(directory, "empty.mot"), "w").close()
    with open(os.path.join(directory, "bad-sum.mot"), "w") as file:
        file.write("S00600004844521B\nS1070100AABBCCDDE9\nS1070300AABBCCDDE6\nS9030000FC\n")
    # Sparse: 2 GiB and a little more, without using the disk.
    with open(os.path.join(directory, "huge.mot"), "w") as file:
        file.truncate(2 ** 31 + 16)
    with open(os.path.join(directory, "readme.mot"), "w") as file:
        file.write("This is not an S-record file.\nNothing in it begins a record.\n")


def run():
    arguments = harness.parse_arguments()
    wine = harness.Wine(arguments, "browse")
    files = os.path.join(os.path.abspath(arguments.build_dir), "browse-files")
    make_files(files)
    process = None
    try:
        wine.ensure_prefix()
        process = wine.launch_velmora()
        harness.check(wine.driver_call("wait-dialog", "30000")["ok"], "no main dialog")
        browser = Browser(wine)
        loaded = loads_a_file_and_shows_its_summary(browser, files)
        cancel_keeps_the_name_and_appends_two_lines(browser, loaded)
        missing_file_reports_the_upper_case_path(browser, files)
        empty_file_fails_to_parse(browser, files)
        refused_file_names_its_line(browser, files)
        plain_text_loads_with_nothing_in_it(browser, files)
        read_only_and_non_ansi_paths_load(browser, files)
        file_too_large_to_hold_is_refused(browser, files)
        second_load_replaces_the_first(browser, files)
        harness.check(wine.driver_call("close")["ok"], "close failed")
        harness.check(harness.wait_for_exit(process, 30) == 0, "Velmora did not exit with 0")
    finally:
        wine.stop()


if __name__ == "__main__":
    harness.main(run)
