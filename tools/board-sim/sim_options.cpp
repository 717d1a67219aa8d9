// Parsing and usage text of velmora-board-sim's command line.
#include "sim_options.h"

#include <cerrno>
#include <cstdlib>
#include <functional>

#include "flash_memory.h"

namespace board_sim {

namespace {

const char kUsage[] =
    R"usage(Usage: velmora-board-sim --link PATH [options]

Simulates the H8SX/1520R board at the far end of Velmora's serial line. A pseudo-terminal stands
for the COM port and its device is linked at PATH; once the link exists the program prints
"ready PATH" on standard output. SIGINT or SIGTERM ends it: the flash dump is written and the
link removed.

Closing the port after opening it at 19200 bps resets the MCU. Before the first reset the MCU runs
its old firmware and ignores every byte. A reset enters the boot program, except the first reset
after an accepted end of programming, which reboots into the new firmware.

The MCU's UART takes the host's bytes no faster than the line's bit rate carries them, and its
replies leave no faster either. The new-bit-rate selection accepts every rate that the SCI makes
with an error below 4 % from the peripheral clock the host names (at 5.00 MHz x 4: 9600, 19200,
38400, 57600, 62500 and 76800 bps, not 100000 or 115200), and the MCU then sends at the rate it
makes. The host's port may be set to any rate, also one without a Bnnn constant.

The user MAT inquiry 0x25 is answered with the other inquiries; the sum check 0x4B and memory
read 0x52 where the boot program waits for a programming/erasing command: after the erase, and
after an accepted end of programming.

The boot program answers a command out of order or unknown with an error reply (the command with
its top bit set, then 0x80), a wrong SUM with error 0x11, and any byte but 0x55 (or a late 0x00)
after the matching with 0xFF. Bytes at a bit rate or frame other than the MCU's, and bytes while it
erases or programs a block, are garbage to it and get no reply. Every rule the host breaks is
logged as a "violation" record.

Port and files:
  --link PATH              where to link the simulated port's device (required)
  --log PATH               event log, one JSON object per line; "-" is standard error (default)
  --dump PATH              flash dump (the whole user MAT), written after each end of
                           programming and at exit (default: the link path + ".flash")
  --removable              a fixture whose board is taken out and put back, as on a line:
                           SIGUSR1 takes the board out (the port stays and nothing answers),
                           SIGUSR2 puts a new one in, its flash as at power-on; the n-th
                           board's flash dump is the dump path + "." + n (the first is in at start)

Board:
  --erase-time SECONDS     time the erase on entering the programming state takes (default 1)
  --program-time MS        time to program one 128-byte unit; the block's ACK leaves after it
                           (default 1: the typical programming time tP per 128 bytes in the flash
                           memory characteristics of the H8SX family's hardware manuals)
  --reply-latency MS       hold every byte the board sends MS milliseconds (0 to 1000) before the
                           host can read it, as a USB adapter's latency timer does; the board's
                           own timing stays the same (default 0)
  --user-mat-size BYTES    size of the user MAT from address 0, a multiple of 128 up to
                           16 MiB (default 0x80000, 512 Kbytes)
  --user-mat-split ADDRESS the user MAT inquiry reports two areas, the second from ADDRESS (a
                           multiple of 128 inside the user MAT)
  --devices PRESET         announced device list: default (a decoy, then H8SX 1520R(40MHz)),
                           no-match, empty, two-matches
  --device CODE:NAME       announce this device (CODE: 8 hex digits); repeat for more; replaces
                           the preset. The MCU is the first entry whose name contains
                           "H8SX 1520R(40MHz)"; device selection accepts only its code

Faults:
  --mute                   never send anything
  --never-match            never answer the bit-rate matching
  --match-on N             answer only the N-th 0x00 of the matching (default 1)
  --handshake-reply BYTE   answer 0x55 with BYTE instead of 0xE6
  --oversize-device-reply  the device reply's size byte exceeds the bytes sent
  --short-mode-reply       the programming-unit reply stops after 4 bytes
  --bad-reply-sum CMD      the reply to CMD (0x25, 0x4B or 0x52) carries a SUM off by one
  --reject-command CMD     answer CMD (0x10, 0x11, 0x3F, 0x40 or 0x43) with its error reply
  --reject-once CMD        the same, for the first CMD since the simulator started only
  --refuse-bps RATE        answer a new-bit-rate selection of RATE bps with 0xBF 0x24 although
                           the board's clock could make it, as a line that cannot carry it;
                           repeat for more rates
  --garble-above RATE      spoil every programming block frame sent at a selected rate above
                           RATE bps, as a line too slow for long frames at that rate
  --no-confirm             never answer the confirmation 0x06 at the new bit rate
  --status-error BYTE      report BYTE as the error of every status reply
  --block-nak K:BYTE       answer the K-th programming block with the single byte BYTE
  --block-error K:DETAIL   answer the K-th programming block with 0xD0 DETAIL
  --block-silent K         do not answer the K-th programming block
  --wrong-byte ADDRESS     when the unit holding ADDRESS (inside the user MAT, decimal or
                           0x-prefixed hex) is programmed, store the byte at ADDRESS with all its
                           bits inverted; the block is acknowledged as usual
  --swap-bytes ADDRESS     when the unit holding ADDRESS is programmed, store the bytes at ADDRESS
                           and ADDRESS + 1 in each other's place (the sum stays right); ADDRESS
                           is not the last byte of its unit
  --end-nak BYTE           answer the end of programming with BYTE; the session stays unfinished
  --end-ack-late MS        send the end of programming's ACK MS milliseconds late, or just before
                           the reply to a command that comes sooner
  --documented-end-only    take only the end of programming that the hardware manuals document,
                           0x50 0xFF 0xFF 0xFF 0xFF 0xB4: 0x50 0xB0 is then the start of a
                           128-byte programming frame, and no reply comes until it is complete
  --vanish-after-matching N
                           after the N-th bit-rate matching byte (and its answer, if any) the
                           device disappears, as with --vanish-after-block
  --vanish-after-block K   after answering the K-th block the device disappears (pseudo-terminal
                           closed, link removed), as an unplugged USB adapter
  --reboot-link-removed    after the end of programming the link is removed for good
  --reboot-unopenable M    after the end of programming the link leads to a file that is no
                           serial device, for M opening attempts (0: for good)
  --help                   show this text

BYTE, DETAIL and CMD are 0..255, decimal or 0x-prefixed hex. K counts the 128-byte programming
frames and N the matching bytes (0x00 while the boot program matches the bit rate) received since
the simulator started, from 1.
)usage";

// Longest times the options accept; anything longer only stalls a test run.
constexpr double kLongestErase = 600.0;        // seconds
constexpr double kLongestProgramTime = 10000;  // milliseconds
constexpr int kLargestCount = 1000000;
constexpr int kLongestReplyLatency = 1000;  // milliseconds
// The selection carries the rate in units of 100 bps, in two bytes.
constexpr int kLargestRequestableRate = 0xFFFF * 100;
constexpr unsigned long kLargestUserMat = 16 * 1024 * 1024;

bool ParseCount(const std::string& text, int lowest, int* value, int highest = kLargestCount) {
    if (text.empty() || text.size() > 7 || text.find_first_not_of("0123456789") != text.npos) {
        return false;
    }
    int parsed = std::atoi(text.c_str());
    if (parsed < lowest || parsed > highest) {
        return false;
    }
    *value = parsed;
    return true;
}

// Decimal or 0x-prefixed hex, up to `highest`.
bool ParseUnsigned(const std::string& text, unsigned long highest, unsigned long* value) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    const char* allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
    if (digits.empty() || digits.size() > 10 || digits.find_first_not_of(allowed) != digits.npos) {
        return false;
    }
    unsigned long parsed = std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10);
    if (parsed > highest) {
        return false;
    }
    *value = parsed;
    return true;
}

bool ParseByte(const std::string& text, uint8_t* value) {
    unsigned long parsed = 0;
    if (!ParseUnsigned(text, 0xFF, &parsed)) {
        return false;
    }
    *value = static_cast<uint8_t>(parsed);
    return true;
}

// A command byte that must be one of `allowed`, added to `commands`.
bool ParseCommand(const std::string& text, const std::set<uint8_t>& allowed,
                  std::set<uint8_t>* commands) {
    uint8_t command = 0;
    if (!ParseByte(text, &command) || allowed.count(command) == 0) {
        return false;
    }
    commands->insert(command);
    return true;
}

bool ParseDecimal(const std::string& text, double highest, double* value) {
    if (text.empty() || text.find_first_not_of("0123456789.") != text.npos) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    double parsed = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || parsed > highest) {
        return false;
    }
    *value = parsed;
    return true;
}

// "K:BYTE"
bool ParseBlockAndByte(const std::string& text, int* block, uint8_t* byte) {
    size_t colon = text.find(':');
    return colon != text.npos && ParseCount(text.substr(0, colon), 1, block) &&
           ParseByte(text.substr(colon + 1), byte);
}

bool AddBlockFault(SimOptions* options, int block, BlockFault fault) {
    return options->blockFaults.emplace(block, fault).second;
}

struct OptionSpec {
    const char* name;
    bool takesValue;
    const char* expects;  // what a valid value looks like, for the error message
    std::function<bool(SimOptions*, const std::string&)> apply;
};

OptionSpec Switch(const char* name, bool SimOptions::*flag) {
    return {name, false, "", [flag](SimOptions* o, const std::string&) {
                o->*flag = true;
                return true;
            }};
}

OptionSpec PathOption(const char* name, const char* expects, std::string SimOptions::*path) {
    return {name, true, expects, [path](SimOptions* o, const std::string& v) {
                o->*path = v;
                return !v.empty();
            }};
}

// Decimal or 0x-prefixed hex, up to `highest`.
OptionSpec AddressOption(const char* name, const char* expects, unsigned long highest,
                         std::optional<uint32_t> SimOptions::*field) {
    return {name, true, expects, [field, highest](SimOptions* o, const std::string& v) {
                unsigned long address = 0;
                if (!ParseUnsigned(v, highest, &address)) {
                    return false;
                }
                o->*field = static_cast<uint32_t>(address);
                return true;
            }};
}

// A whole number of programming units, in bytes, up to the largest user MAT.
OptionSpec UnitsOption(const char* name, const char* expects, uint32_t SimOptions::*field) {
    return {name, true, expects, [field](SimOptions* o, const std::string& v) {
                unsigned long bytes = 0;
                if (!ParseUnsigned(v, kLargestUserMat, &bytes) || bytes == 0 ||
                    bytes % kProgrammingUnit != 0) {
                    return false;
                }
                o->*field = static_cast<uint32_t>(bytes);
                return true;
            }};
}

OptionSpec ByteOption(const char* name, std::optional<uint8_t> SimOptions::*field) {
    return {name, true, "a byte", [field](SimOptions* o, const std::string& v) {
                uint8_t byte = 0;
                if (!ParseByte(v, &byte)) {
                    return false;
                }
                o->*field = byte;
                return true;
            }};
}

std::vector<OptionSpec> Specs(std::vector<DeviceEntry>* customDevices) {
    return {
        PathOption("--link", "a path", &SimOptions::linkPath),
        PathOption("--log", "a path or -", &SimOptions::logPath),
        PathOption("--dump", "a path", &SimOptions::dumpPath),
        {"--erase-time", true, "seconds from 0 to 600",
         [](SimOptions* o, const std::string& v) {
             return ParseDecimal(v, kLongestErase, &o->eraseSeconds);
         }},
        {"--program-time", true, "milliseconds from 0 to 10000",
         [](SimOptions* o, const std::string& v) {
             return ParseDecimal(v, kLongestProgramTime, &o->programMilliseconds);
         }},
        {"--reply-latency", true, "milliseconds from 0 to 1000",
         [](SimOptions* o, const std::string& v) {
             return ParseCount(v, 0, &o->replyLatencyMilliseconds, kLongestReplyLatency);
         }},
        {"--devices", true, "default, no-match, empty or two-matches",
         [](SimOptions* o, const std::string& v) { return DevicePreset(v, &o->devices); }},
        {"--device", true, "CODE:NAME with 8 hex digits and a name of at most 123 characters",
         [customDevices](SimOptions*, const std::string& v) {
             DeviceEntry entry;
             if (!ParseDeviceEntry(v, &entry)) {
                 return false;
             }
             customDevices->push_back(entry);
             return true;
         }},
        Switch("--removable", &SimOptions::removable),
        Switch("--mute", &SimOptions::mute),
        Switch("--never-match", &SimOptions::neverMatch),
        {"--match-on", true, "a count from 1",
         [](SimOptions* o, const std::string& v) { return ParseCount(v, 1, &o->matchOn); }},
        {"--handshake-reply", true, "a byte",
         [](SimOptions* o, const std::string& v) { return ParseByte(v, &o->handshakeReply); }},
        Switch("--oversize-device-reply", &SimOptions::oversizeDeviceReply),
        Switch("--short-mode-reply", &SimOptions::shortModeReply),
        {"--bad-reply-sum", true, "0x25, 0x4B or 0x52",
         [](SimOptions* o, const std::string& v) {
             return ParseCommand(v, {0x25, 0x4B, 0x52}, &o->badReplySums);
         }},
        {"--reject-command", true, "0x10, 0x11, 0x3F, 0x40 or 0x43",
         [](SimOptions* o, const std::string& v) {
             return ParseCommand(v, {0x10, 0x11, 0x3F, 0x40, 0x43}, &o->rejectedCommands);
         }},
        {"--reject-once", true, "0x10, 0x11, 0x3F, 0x40 or 0x43",
         [](SimOptions* o, const std::string& v) {
             return ParseCommand(v, {0x10, 0x11, 0x3F, 0x40, 0x43}, &o->rejectedOnce);
         }},
        {"--refuse-bps", true, "a bit rate in bps, a multiple of 100 from 100 to 6553500",
         [](SimOptions* o, const std::string& v) {
             int rate = 0;
             if (!ParseCount(v, 100, &rate, kLargestRequestableRate) || rate % 100 != 0) {
                 return false;
             }
             o->refusedBitRates.insert(rate);
             return true;
         }},
        {"--garble-above", true, "a bit rate in bps, a multiple of 100 from 100 to 6553500",
         [](SimOptions* o, const std::string& v) {
             return ParseCount(v, 100, &o->garbleAboveBitRate, kLargestRequestableRate) &&
                    o->garbleAboveBitRate % 100 == 0;
         }},
        Switch("--no-confirm", &SimOptions::noConfirm),
        ByteOption("--status-error", &SimOptions::statusError),
        {"--block-nak", true, "K:BYTE with a block count from 1, once per block",
         [](SimOptions* o, const std::string& v) {
             int block = 0;
             uint8_t byte = 0;
             return ParseBlockAndByte(v, &block, &byte) &&
                    AddBlockFault(o, block, {BlockFaultKind::NonAck, byte});
         }},
        {"--block-error", true, "K:DETAIL with a block count from 1, once per block",
         [](SimOptions* o, const std::string& v) {
             int block = 0;
             uint8_t detail = 0;
             return ParseBlockAndByte(v, &block, &detail) &&
                    AddBlockFault(o, block, {BlockFaultKind::ErrorReply, detail});
         }},
        {"--block-silent", true, "a block count from 1, once per block",
         [](SimOptions* o, const std::string& v) {
             int block = 0;
             return ParseCount(v, 1, &block) &&
                    AddBlockFault(o, block, {BlockFaultKind::Silence, 0});
         }},
        AddressOption("--wrong-byte", "an address of the user MAT", kLargestUserMat - 1,
                      &SimOptions::wrongByte),
        AddressOption("--swap-bytes", "an address of the user MAT", kLargestUserMat - 2,
                      &SimOptions::swappedBytes),
        UnitsOption("--user-mat-size", "a multiple of 128 from 128 to 16 MiB",
                    &SimOptions::userMatSize),
        UnitsOption("--user-mat-split", "a multiple of 128 from 128", &SimOptions::userMatSplit),
        ByteOption("--end-nak", &SimOptions::endReply),
        {"--end-ack-late", true, "milliseconds from 0 to 10000",
         [](SimOptions* o, const std::string& v) {
             return ParseDecimal(v, kLongestProgramTime, &o->endAckDelayMilliseconds);
         }},
        Switch("--documented-end-only", &SimOptions::documentedEndOnly),
        {"--vanish-after-matching", true, "a count of matching bytes from 1",
         [](SimOptions* o, const std::string& v) {
             return ParseCount(v, 1, &o->vanishAfterMatching);
         }},
        {"--vanish-after-block", true, "a block count from 1",
         [](SimOptions* o, const std::string& v) {
             return ParseCount(v, 1, &o->vanishAfterBlock);
         }},
        {"--reboot-link-removed", false, "",
         [](SimOptions* o, const std::string&) {
             o->rebootPortFault = RebootPortFault::LinkRemoved;
             return true;
         }},
        {"--reboot-unopenable", true, "a count of attempts from 0",
         [](SimOptions* o, const std::string& v) {
             o->rebootPortFault = RebootPortFault::Unopenable;
             return ParseCount(v, 0, &o->unopenableAttempts);
         }},
    };
}

}  // namespace

const char* UsageText() {
    return kUsage;
}

ParseOutcome ParseOptions(int argc, char** argv, SimOptions* options, std::string* error) {
    std::vector<DeviceEntry> customDevices;
    const std::vector<OptionSpec> specs = Specs(&customDevices);
    DevicePreset("default", &options->devices);
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            return ParseOutcome::Help;
        }
        std::string value;
        bool hasInlineValue = false;
        size_t equals = argument.find('=');
        if (argument.rfind("--", 0) == 0 && equals != argument.npos) {
            value = argument.substr(equals + 1);
            argument.resize(equals);
            hasInlineValue = true;
        }
        const OptionSpec* spec = nullptr;
        for (const OptionSpec& candidate : specs) {
            if (argument == candidate.name) {
                spec = &candidate;
            }
        }
        if (spec == nullptr) {
            *error = "unknown option " + argument;
            return ParseOutcome::Error;
        }
        if (!spec->takesValue && hasInlineValue) {
            *error = argument + ": takes no value";
            return ParseOutcome::Error;
        }
        if (spec->takesValue && !hasInlineValue) {
            if (i + 1 >= argc) {
                *error = argument + ": missing value (" + spec->expects + ")";
                return ParseOutcome::Error;
            }
            value = argv[++i];
        }
        if (!spec->apply(options, value)) {
            *error = argument + ": expects " + spec->expects + ", got '" + value + "'";
            return ParseOutcome::Error;
        }
    }
    if (options->linkPath.empty()) {
        *error = "--link PATH is required";
        return ParseOutcome::Error;
    }
    if (!customDevices.empty()) {
        options->devices = customDevices;
    }
    if (DeviceReplyBody(options->devices).size() > 0xFF) {
        *error = "--device: the device list does not fit the inquiry reply's one size byte";
        return ParseOutcome::Error;
    }
    // Addresses checked against the user MAT once its size is known, whatever the options' order.
    if (options->userMatSplit >= options->userMatSize) {
        *error = "--user-mat-split: the second area must begin inside the user MAT";
        return ParseOutcome::Error;
    }
    if (options->wrongByte && *options->wrongByte >= options->userMatSize) {
        *error = "--wrong-byte: the address lies outside the user MAT";
        return ParseOutcome::Error;
    }
    if (options->swappedBytes && (*options->swappedBytes + 1 >= options->userMatSize ||
                                  (*options->swappedBytes + 1) % kProgrammingUnit == 0)) {
        *error = "--swap-bytes: both bytes must lie in one unit of the user MAT";
        return ParseOutcome::Error;
    }
    if (options->dumpPath.empty()) {
        options->dumpPath = options->linkPath + ".flash";
    }
    return ParseOutcome::Run;
}

}  // namespace board_sim
