// The command line of velmora-cli, parsed by CLI11 (the distribution's libcli11-dev).
#include "cli/command_line.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <sstream>
#include <string>

#include "cli/bit_rate_option.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/json_lines.h"
#include "serial/port_identity.h"
#include "velmora_version.h"

namespace {

// "Exit codes:", then each code or range of codes in a column of its own before its meaning.
std::string ExitCodesFooter() {
    const char kIndent[] = "           ";
    std::string footer = "Exit codes:\n";
    for (const ExitCodeMeaning& row : kExitCodeMeanings) {
        const std::string codes = row.first == row.last
                                      ? std::to_string(row.first)
                                      : std::to_string(row.first) + ".." + std::to_string(row.last);
        footer += "  " + codes + std::string(9 - codes.size(), ' ');
        for (const char* c = row.meaning; *c != '\0'; ++c) {
            footer += *c;
            if (*c == '\n') {
                footer += kIndent;
            }
        }
        footer += "\n";
    }
    return footer;
}

// What is wrong with the ports given, or empty. Two names of one device would hand one board to
// two runs at once.
std::string PortsProblem(const std::vector<std::string>& ports) {
    for (size_t i = 0; i < ports.size(); ++i) {
        if (ports[i].empty()) {
            return "the port's name is empty";
        }
        for (size_t j = 0; j < i; ++j) {
            if (ports[j] == ports[i]) {
                return ports[i] + " is given twice";
            }
            if (SamePort(ports[j], ports[i])) {
                return ports[j] + " and " + ports[i] + " are one port";
            }
        }
    }
    return std::string();
}

// A serial number as history's --serial takes it: decimal, 0 to 4294967295.
bool ParseSerial(const std::string& text, uint32_t& serial) {
    if (text.empty() || text.size() > 10 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const unsigned long long value = std::stoull(text);
    if (value > UINT32_MAX) {
        return false;
    }
    serial = static_cast<uint32_t>(value);
    return true;
}

// --format, --offset and --allow-unterminated, as write and info both take them.
struct InputOptions {
    std::string format;
    std::string offset;
    bool allowUnterminated = false;
};

// The longest --erase-timeout, in seconds, and the most --retries: beyond them a board that has
// gone only holds the operator up.
const int kLongestEraseTimeout = 600;
const int kMostRetries = 10;
// A bound of the count only against typing errors: a line's day is far fewer boards.
const int kMostStationBoards = 1000000;

CLI::Validator AddressCheck() {
    return CLI::Validator(
        [](std::string& text) {
            uint32_t address = 0;
            return ParseOffset(text, address)
                       ? std::string()
                       : "not an address: " + text + " (decimal, or hexadecimal after 0x)";
        },
        "ADDR");
}

void AddInputOptions(CLI::App* command, InputOptions& options) {
    command
        ->add_option("--format", options.format,
                     "read FILE as S-records, Intel HEX, ELF or a raw binary; without it the "
                     "content tells (a binary is never guessed)")
        ->check(CLI::IsMember({"srec", "ihex", "elf", "bin"}));
    command
        ->add_option("--offset", options.offset,
                     "with --format bin: the address of the file's first byte (decimal or 0x hex, "
                     "default 0)")
        ->check(AddressCheck());
    command->add_flag("--allow-unterminated", options.allowUnterminated,
                      "take S-records that end without a count (S5, S6) or termination record (S7, "
                      "S8, S9), as files made by hand may; a cut file looks the same");
}

// What is wrong with the options, or empty.
std::string InputProblem(const InputOptions& options, InputRequest& input) {
    FirmwareFormat format = FirmwareFormat::SRecord;
    if (FormatNamed(options.format, format)) {
        input.format = format;
    }
    input.allowUnterminated = options.allowUnterminated;
    if (!options.offset.empty() && format != FirmwareFormat::Binary) {
        return "--offset needs --format bin: the other formats carry their addresses";
    }
    // The option's check has refused a text that is no address.
    if (!options.offset.empty()) {
        ParseOffset(options.offset, input.offset);
    }
    return std::string();
}

// --serial, --serial-format and --serial-start, as given.
struct SerialOptions {
    std::string address;
    std::string format;
    std::string start;
};

void AddSerialOptions(CLI::App* command, SerialOptions& options) {
    command
        ->add_option("--serial", options.address,
                     "give each board its own serial number, written into its image at ADDR "
                     "(decimal or 0x hex, in the user MAT, blank in the image)")
        ->check(AddressCheck());
    command
        ->add_option("--serial-format", options.format,
                     "how the number is written: u32be (4 bytes, most significant first, the "
                     "default), u32le, or ascii:N (N decimal digits, zero-padded, N 1 to 10)")
        ->check(CLI::Validator(
            [](std::string& text) {
                SerialLayout layout;
                return ParseSerialForm(text, layout)
                           ? std::string()
                           : "not a serial number format: " + text + " (u32be, u32le, ascii:N)";
            },
            "FORM"));
    command
        ->add_option("--serial-start", options.start,
                     "the first board's number, then one more for each port in the order given; "
                     "with --record only for the first run (the record knows the next)")
        ->check(CLI::Validator(
            [](std::string& text) {
                uint32_t serial = 0;
                return ParseSerial(text, serial)
                           ? std::string()
                           : "not a serial number: " + text + " (decimal, 0 to 4294967295)";
            },
            "N"));
}

// What is wrong with the serial options, or empty; `write` takes them when they are right.
std::string SerialProblem(const SerialOptions& options, WriteRequest& write) {
    if (options.address.empty()) {
        if (!options.format.empty() || !options.start.empty()) {
            return (options.format.empty() ? "--serial-start" : "--serial-format") +
                   std::string(" needs --serial ADDR: where each board's number goes");
        }
        return std::string();
    }
    // The options' checks have refused texts that do not parse.
    SerialLayout layout;
    ParseOffset(options.address, layout.address);
    if (!options.format.empty()) {
        ParseSerialForm(options.format, layout);
    }
    if (!options.start.empty()) {
        uint32_t start = 0;
        ParseSerial(options.start, start);
        const uint64_t last = uint64_t{start} + write.ports.size() - 1;
        if (last > LargestSerial(layout)) {
            return "--serial-start " + options.start + ": the numbers of " +
                   std::to_string(write.ports.size()) + " boards reach past " +
                   std::to_string(LargestSerial(layout)) + ", the largest that " +
                   (options.format.empty() ? std::string("u32be") : options.format) + " holds";
        }
        write.serialStart = start;
    } else if (write.record.empty()) {
        return "--serial needs --serial-start N for the first number (or --record, which "
               "goes on from the highest it holds)";
    }
    write.serial = layout;
    return std::string();
}

// An option that takes one value and was given more than once, or empty. Such options keep
// their last value while parsing, so that the line can name the option rather than count values.
std::string RepeatedOption(const CLI::App& command) {
    for (const CLI::Option* option : command.get_options()) {
        const bool takesValue = option->get_items_expected_max() > 0;
        const bool repeats = option->get_multi_option_policy() == CLI::MultiOptionPolicy::TakeAll;
        if (takesValue && !repeats && option->count() > 1) {
            return option->get_name() + " is given twice";
        }
    }
    return std::string();
}

// --json anywhere before a "--": a script that reads standard output alone still learns of a
// usage error, also when the line did not parse.
bool AsksForJson(const std::vector<std::string>& arguments) {
    for (size_t i = 1; i < arguments.size() && arguments[i] != "--"; ++i) {
        if (arguments[i] == "--json") {
            return true;
        }
    }
    return false;
}

// --repeat and --count together, and what a station cannot do.
std::string StationProblem(const WriteRequest& write) {
    if (write.count && !write.repeat) {
        return "--count needs --repeat";
    }
    if (write.repeat && write.quiet) {
        return "--repeat cannot be --quiet: the station tells when to put each board in and take "
               "it out";
    }
    return std::string();
}

CommandLine UsageError(CommandLine line, const std::string& problem) {
    line.command.reset();
    line.exitCode = kExitUsage;
    line.problem = problem;
    return line;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    line.json = AsksForJson(arguments);

    CLI::App app("Writes a firmware file into an H8SX/1520R over its serial boot mode.",
                 "velmora-cli");
    app.set_version_flag("--version", std::string("velmora-cli ") + VELMORA_VERSION_TEXT);
    app.require_subcommand(1);
    // Inherited by every command's options (see RepeatedOption).
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    const std::string exitCodes = ExitCodesFooter();
    app.footer(exitCodes);

    WriteRequest& write = line.write;
    CLI::App* writeCommand = app.add_subcommand(
        "write", "Load FILE as the window does, then program it into the board on PORT.");
    writeCommand
        ->add_option("FILE", write.file, "the firmware file: S-records, Intel HEX, ELF or binary")
        ->required();
    // One value each time it is given: CLI11 lets a list option take every word that follows it,
    // FILE included, unless told otherwise.
    writeCommand
        ->add_option("-p,--port", write.ports,
                     "the serial port: a device path on Linux (/dev/ttyUSB0), a name on Windows "
                     "(COM3); repeat it to program several boards at once, each board once")
        ->required()
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    writeCommand->add_flag("-q,--quiet", write.quiet, "print only errors");
    writeCommand->add_option("--log", write.logPath,
                             "also write the whole log, as the window shows it (CR LF), to FILE; "
                             "with several ports one file a port, named after it "
                             "(run.log: run.ttyUSB0.log)");
    writeCommand->add_flag("--json", write.json,
                           "JSON Lines on standard output instead of the log: one object an "
                           "event, the last for each board its result");
    writeCommand->add_flag("--fast", write.fast,
                           "end each transaction as soon as its reply is complete (the window "
                           "waits the design's fixed delays)");
    writeCommand->add_flag("--verify", write.verify,
                           "log the user MAT that the board reports, and compare its sum with "
                           "the image's after programming");
    writeCommand->add_flag("--read-back", write.readBack,
                           "--verify, and then read every block sent back from the board and "
                           "compare it byte for byte");
    writeCommand
        ->add_option("--erase-timeout", write.eraseTimeoutSeconds,
                     "wait up to SECONDS (1 to 600, default 30) for the board to acknowledge its "
                     "erase at [10], with or without --fast (the window waits 3)")
        ->type_name("SECONDS")
        ->check(CLI::Range(1, kLongestEraseTimeout).description(""));
    writeCommand
        ->add_option("--retries", write.retries,
                     "start a run that fails before the erase ([01] to [09]) over from [01] up to "
                     "N times (0 to 10, default 2; 0: never); a stop is never retried")
        ->type_name("N")
        ->check(CLI::Range(0, kMostRetries).description(""));
    std::string bitRateText = "38400";
    const char kBitRateHelp[] =
        "the bit rate for programming, after the matching at 9600: 38400 (the window's), 57600, "
        "62500, 76800, 125000, 625000 or another the board takes; max: from 625000 down, the "
        "fastest that carries the blocks";
    writeCommand->add_option("--bps", bitRateText, kBitRateHelp);
    InputOptions writeInput;
    AddInputOptions(writeCommand, writeInput);
    SerialOptions writeSerial;
    AddSerialOptions(writeCommand, writeSerial);
    writeCommand->add_option("--record", write.record,
                             "keep a row for every board in a record: an SQLite file (created "
                             "when missing), or a PostgreSQL database as a libpq URI "
                             "(postgresql://user@host/database; Linux only)");
    writeCommand->add_flag("--repeat", write.repeat,
                           "a station: every port programs board after board, each one found "
                           "when it is put in and programmed once, until Ctrl-C or --count");
    int stationCount = 0;
    writeCommand
        ->add_option("--count", stationCount,
                     "with --repeat: end after N boards in all, across the ports")
        ->type_name("N")
        ->check(CLI::Range(1, kMostStationBoards).description(""));
    writeCommand->footer(exitCodes);

    InfoRequest& info = line.info;
    CLI::App* infoCommand = app.add_subcommand(
        "info", "Show FILE's summary, its 128-byte blocks and how long writing it takes.");
    infoCommand
        ->add_option("FILE", info.file, "the firmware file: S-records, Intel HEX, ELF or binary")
        ->required();
    InputOptions infoInput;
    AddInputOptions(infoCommand, infoInput);
    infoCommand->add_option("--bps", bitRateText, "the run's bit rate for programming (see write)");
    infoCommand
        ->add_option("--reply-latency", info.replyLatency,
                     "the ms that the port's adapter holds each reply before passing it on (a "
                     "USB adapter's latency timer: about 1 in low-latency mode, 16 at FTDI's "
                     "default); default 0")
        ->check(CLI::Range(0, 1000));
    infoCommand->footer(exitCodes);

    CLI::App* portsCommand = app.add_subcommand("ports", "List the serial ports of this machine.");
    portsCommand->add_flag("--json", line.ports.json,
                           "JSON Lines instead of the list: one object a port, with its "
                           "/dev/serial/by-id name and its USB identity where the system knows "
                           "them");
    portsCommand->footer(exitCodes);

    HistoryRequest& history = line.history;
    std::string serialText;
    CLI::App* historyCommand = app.add_subcommand(
        "history", "Show the runs kept in a record (--record): a table, or JSON Lines.");
    historyCommand
        ->add_option("--record", history.record,
                     "the record: an SQLite file, or a PostgreSQL database as a libpq URI "
                     "(postgresql://user@host/database; Linux only)")
        ->required();
    historyCommand->add_flag("--json", history.json,
                             "JSON Lines instead of the table: one object a run, the table runs' "
                             "column names as keys");
    historyCommand
        ->add_option("--serial", serialText, "only the runs that were given serial number N")
        ->check(CLI::Validator(
            [](std::string& text) {
                uint32_t serial = 0;
                return ParseSerial(text, serial)
                           ? std::string()
                           : "not a serial number: " + text + " (decimal, 0 to 4294967295)";
            },
            "N"));
    historyCommand->add_option("--port", history.filter.port,
                               "only the runs on port NAME, as write was given it");
    historyCommand->add_option("--last", history.filter.last, "only the last N runs that match")
        ->check(CLI::PositiveNumber);
    historyCommand->footer(exitCodes);

    const std::string first = arguments.size() > 1 ? arguments[1] : "-";
    if (!first.empty() && first[0] != '-' && first != "write" && first != "info" &&
        first != "ports" && first != "history") {
        return UsageError(line, "unknown command '" + first +
                                    "' (write, info, ports or history; see velmora-cli --help)");
    }
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend() - 1);
    std::ostringstream shown;
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp& request) {
        line.exitCode = app.exit(request, shown, shown);
        line.output = shown.str();
        return line;
    } catch (const CLI::CallForVersion& request) {
        line.exitCode = app.exit(request, shown, shown);
        line.output = shown.str();
        return line;
    } catch (const CLI::ParseError& error) {
        // Help for a subcommand is a ParseError too, with a success code.
        if (error.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
            line.exitCode = app.exit(error, shown, shown);
            line.output = shown.str();
            return line;
        }
        return UsageError(line, std::string(error.what()) + " (see velmora-cli --help)");
    }
    for (const CLI::App* command : {writeCommand, infoCommand, portsCommand, historyCommand}) {
        const std::string repeated = RepeatedOption(*command);
        if (*command && !repeated.empty()) {
            return UsageError(line,
                              repeated + " (see velmora-cli " + command->get_name() + " --help)");
        }
    }
    const BitRateChoice bitRates = ChooseBitRates(bitRateText);
    if (!bitRates.problem.empty()) {
        return UsageError(line, bitRates.problem);
    }
    if (*writeCommand) {
        write.bitRates = bitRates.rates;
        const std::string problem = PortsProblem(write.ports);
        if (!problem.empty()) {
            return UsageError(line, "--port: " + problem + " (see velmora-cli ports)");
        }
        const std::string input = InputProblem(writeInput, write.input);
        if (!input.empty()) {
            return UsageError(line, input);
        }
        const std::string serial = SerialProblem(writeSerial, write);
        if (!serial.empty()) {
            return UsageError(line, serial);
        }
        if (writeCommand->count("--count") > 0) {
            write.count = stationCount;
        }
        const std::string station = StationProblem(write);
        if (!station.empty()) {
            return UsageError(line, station + " (see velmora-cli write --help)");
        }
        line.command = CommandName::Write;
        return line;
    }
    if (*infoCommand) {
        info.bitRate = bitRates.rates.front();
        const std::string input = InputProblem(infoInput, info.input);
        if (!input.empty()) {
            return UsageError(line, input);
        }
        line.command = CommandName::Info;
        return line;
    }
    if (*historyCommand) {
        uint32_t serial = 0;
        if (ParseSerial(serialText, serial)) {
            history.filter.serial = serial;
        }
        line.command = CommandName::History;
        return line;
    }
    line.command = CommandName::Ports;
    return line;
}

int RunCommandLine(const std::vector<std::string>& arguments, const Surroundings& surroundings) {
    const CommandLine line = ParseCommandLine(arguments);
    const ConsoleFiles& console = surroundings.console;
    if (!line.problem.empty()) {
        std::fprintf(console.errors, "velmora-cli: %s\n", line.problem.c_str());
        if (line.json) {
            JsonObject result;
            result.Text("event", "result").Null("port").Flag("ok", false);
            result.Number("exit_code", line.exitCode).Text("message", line.problem);
            std::fputs(result.Line().c_str(), console.output);
        }
        return line.exitCode;
    }
    if (!line.command) {
        std::fputs(line.output.c_str(), console.output);
        return line.exitCode;
    }
    switch (*line.command) {
        case CommandName::Write:
            return WriteCommand(line.write, surroundings);
        case CommandName::Info:
            return InfoCommand(line.info);
        case CommandName::History:
            return HistoryCommand(line.history);
        case CommandName::Ports:
            break;
    }
    return PortsCommand(line.ports);
}
