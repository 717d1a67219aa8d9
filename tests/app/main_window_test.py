"""Velmora.exe under Wine, operated from a second process: start-up, keys, closing, the port list
on the NT family and on the probing platforms, and the warning for unsupported Windows."""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import velmora_harness as harness  # noqa: E402

WARNING = ("This Windows OS is not supported version !\n"
           "Some Windows components are not work correctly.\n\n"
           "* Supported OS * \n"
           "  - Windows XP (kernel 5.1) \n"
           "  - Windows VISTA (kernel 6.0) \n"
           "  - Windows 7 (kernel 6.1) \n"
           "  - Or higher kernel & component required.")


def open_window(wine, expect_warning):
    """Starts Velmora.exe and waits for its dialog, answering the warning box when expected."""
    process = wine.launch_velmora()
    if expect_warning:
        box = wine.driver_call("message-box", "Warnning!", "30000")
        harness.check(box["ok"], "no warning box: %s" % box)
        harness.check(box["text"] == WARNING, "warning text: %r" % box["text"])
        harness.check(not box["mainVisible"], "the dialog showed before the warning box")
    ready = wine.driver_call("wait-dialog", "30000")
    harness.check(ready["ok"], "the main dialog did not appear")
    return process


def close_window(wine, process):
    harness.check(wine.driver_call("close")["ok"], "close failed")
    code = harness.wait_for_exit(process, 30)
    harness.check(code == 0, "exit code after WM_CLOSE: %r" % code)


def no_warning_on_supported_windows(wine):
    """XP and later show no box; the dialog opens at once."""
    for version in ("winxp", None):
        wine.set_windows_version(version)
        process = open_window(wine, expect_warning=False)
        box = wine.driver_call("message-box", "Warnning!", "500")
        harness.check(not box["ok"], "a warning box appeared on %s" % version)
        close_window(wine, process)


def start_up_keys_and_close(wine, links):
    """The banner, the status line, the hidden check box, the NT port order; Escape and Enter
    leave the window open; WM_CLOSE ends the process with 0."""
    wine.set_windows_version(None)
    process = open_window(wine, expect_warning=False)
    state = wine.driver_call("state")
    harness.check(state["log"] == harness.transcript("banner"), "banner: %r" % state["log"])
    harness.check(state["status"] == "Ready. select a MOT file for update.",
                  "status: %r" % state["status"])
    harness.check(not state["checkVisible"], "the check box is visible")
    expected = [name for name in wine.driver_call("dosdevices")["com"]]
    harness.check(sorted(expected) == sorted(links), "Wine lists %r" % expected)
    harness.check(state["ports"] == expected, "ports %r, system order %r"
                  % (state["ports"], expected))
    harness.check(state["selected"] == 0 and state["port"] == expected[0],
                  "selection %r %r" % (state["selected"], state["port"]))

    for key in ("escape", "enter", "escape"):
        harness.check(wine.driver_call("key", key)["ok"], "key %s" % key)
        harness.check(harness.wait_for_exit(process, 1) is None, "%s closed the window" % key)
        harness.check(wine.driver_call("state")["ok"], "window gone after %s" % key)
    close_window(wine, process)


def no_ports(wine):
    wine.set_windows_version(None)
    wine.set_ports({})
    wine.restart()
    process = open_window(wine, expect_warning=False)
    state = wine.driver_call("state")
    harness.check(state["ports"] == [] and state["selected"] == -1 and state["port"] == "",
                  "empty list expected: %r %r" % (state["ports"], state["selected"]))
    close_window(wine, process)


def probing_on_windows_98(wine):
    """Without the NT device list each COM1..COM255 is opened: ascending order, only ports that
    open; the warning box comes first. (Wine opens a mapped port even when the device behind it
    is gone, so COM5 opens too; unmapped numbers fail and are not listed.)"""
    wine.set_windows_version("win98")
    process = open_window(wine, expect_warning=True)
    state = wine.driver_call("state")
    harness.check(state["ports"] == ["COM3", "COM5", "COM12"], "probed ports: %r" % state["ports"])
    harness.check(state["selected"] == 0, "selection %r" % state["selected"])
    close_window(wine, process)


def warning_on_windows_2000(wine):
    wine.set_windows_version("win2k")
    process = open_window(wine, expect_warning=True)
    harness.check(wine.driver_call("state")["status"] == "Ready. select a MOT file for update.",
                  "start-up did not go on after the warning")
    close_window(wine, process)


def run():
    harness.hide_serial_devices()
    arguments = harness.parse_arguments()
    wine = harness.Wine(arguments, "window")
    terminals = []
    try:
        wine.ensure_prefix()
        # COM12 and COM3 are real devices; COM5 is named but leads nowhere.
        terminals = [harness.PseudoTerminal(os.path.join(wine.ports_dir, name))
                     for name in ("com12", "com3")]
        wine.set_ports({"COM12": os.path.join(wine.ports_dir, "com12"),
                        "COM3": os.path.join(wine.ports_dir, "com3"),
                        "COM5": os.path.join(wine.ports_dir, "com5")})
        wine.restart()
        start_up_keys_and_close(wine, ["COM12", "COM3", "COM5"])
        no_warning_on_supported_windows(wine)
        probing_on_windows_98(wine)
        warning_on_windows_2000(wine)
        no_ports(wine)
    finally:
        wine.stop()
        for terminal in terminals:
            terminal.close()


if __name__ == "__main__":
    harness.main(run)
