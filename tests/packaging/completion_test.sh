#!/bin/bash
# Checks velmora-cli's bash completion: it loads, completes commands, option values and files,
# and offers every option that the program's --help lists.
# Usage: completion_test.sh COMPLETION-SCRIPT VELMORA-CLI WORK-DIRECTORY
set -u
completion=$1
cli=$(realpath "$2")
work=$3

# compopt works only while bash itself completes; here the function is called directly.
compopt() { :; }
# shellcheck source=/dev/null
source "$completion" || { echo "FAILED: $completion does not load"; exit 1; }
[[ $(complete -p velmora-cli 2>/dev/null) == *_velmora_cli* ]] ||
    { echo "FAILED: $completion does not register a completion for velmora-cli"; exit 1; }

failures=0

# The words that completing the last of WORDS offers, one line, sorted.
offered() {
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    _velmora_cli
    printf '%s\n' "${COMPREPLY[@]}" | sort | xargs
}

expect() {
    local expected=$1
    shift
    local actual
    actual=$(offered "$@")
    if [[ $actual != "$expected" ]]; then
        echo "FAILED: completing '$*' offers '$actual', expected '$expected'"
        failures=$((failures + 1))
    fi
}

expect "write" velmora-cli wr
expect "history info ports write" velmora-cli ""
expect "bin elf ihex srec" velmora-cli write fw.mot --format ""
expect "elf" velmora-cli write fw.mot --format = e
expect "125000 156300 312500 38400 57600 62500 625000 76800 max" velmora-cli info fw.mot --bps ""
expect "" velmora-cli write fw.mot --offset ""
expect "ascii: u32be u32le" velmora-cli write fw.mot --serial 0x7FF00 --serial-format ""
expect "" velmora-cli write fw.mot --serial-start ""
expect "--repeat" velmora-cli write fw.mot --rep
expect "" velmora-cli write fw.mot --repeat --count ""
expect "" velmora-cli ports ""
expect "" velmora-cli history --last ""
expect "" velmora-cli history --record r.sqlite ""

# The ports come from the program's own list, by-id names included; here a stand-in lists them.
by_id=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0
velmora-cli() {
    [[ $1 == ports ]] && printf '%s\n' /dev/ttyS0 "/dev/ttyUSB0  ($by_id)"
}
expect "$by_id /dev/ttyS0 /dev/ttyUSB0" velmora-cli write fw.mot --port ""
expect "$by_id" velmora-cli write fw.mot -p /dev/serial/
expect "/dev/ttyUSB0" velmora-cli write --port = /dev/ttyU
expect "" velmora-cli info fw.mot --reply-latency ""

mkdir -p "$work/files"
touch "$work/files/fw.mot" "$work/files/notes.txt"
cd "$work/files" || exit 1
expect "fw.mot" velmora-cli write f
expect "notes.txt" velmora-cli write fw.mot --port /dev/ttyUSB0 --log n

# Every option in a command's --help is offered after "-".
for command in "" write info ports history; do
    # Option lines read "  -p,--port TEXT ...".
    listed=$("$cli" $command --help | sed -n 's/^  \(-[^ ]*\).*/\1/p' | tr ',' '\n')
    if [[ -z $listed ]]; then
        echo "FAILED: no options found in 'velmora-cli $command --help'"
        failures=$((failures + 1))
    fi
    # shellcheck disable=SC2086
    completed=" $(offered velmora-cli $command -) "
    for option in $listed; do
        if [[ $completed != *" $option "* ]]; then
            echo "FAILED: 'velmora-cli $command -' does not offer $option, which --help lists"
            failures=$((failures + 1))
        fi
    done
done

[[ $failures -eq 0 ]] || exit 1
echo "completion: all cases passed"
