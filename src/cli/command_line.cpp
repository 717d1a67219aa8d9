// The command line of velmora-cli, parsed by CLI11 (the distribution's libcli11-dev).
#include "cli/command_line.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

#include "cli/bit_rate_option.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
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

// --format and --offset, as write and info both take them.
struct InputOptions {
    std::string format;
    std::string offset;
};

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
        ->check(CLI::Validator(
            [](std::string& text) {
                uint32_t offset = 0;
                return ParseOffset(text, offset)
                           ? std::string()
                           : "not an address: " + text + " (decimal, or hexadecimal after 0x)";
            },
            "ADDR"));
}

// The request the options make, or false with one line on standard error.
bool InputFrom(const InputOptions& options, InputRequest& input) {
    FirmwareFormat format = FirmwareFormat::SRecord;
    if (FormatNamed(options.format, format)) {
        input.format = format;
    }
    if (!options.offset.empty() && format != FirmwareFormat::Binary) {
        std::fprintf(stderr,
                     "velmora-cli: --offset needs --format bin: the other formats carry their "
                     "addresses\n");
        return false;
    }
    return options.offset.empty() || ParseOffset(options.offset, input.offset);
}

}  // namespace

int RunCommandLine(const std::vector<std::string>& arguments) {
    CLI::App app("Writes a firmware file into an H8SX/1520R over its serial boot mode.",
                 "velmora-cli");
    app.set_version_flag("--version", std::string("velmora-cli ") + VELMORA_VERSION_TEXT);
    app.require_subcommand(1);
    const std::string exitCodes = ExitCodesFooter();
    app.footer(exitCodes);

    WriteRequest write;
    CLI::App* writeCommand = app.add_subcommand(
        "write", "Load FILE as the window does, then program it into the board on PORT.");
    writeCommand
        ->add_option("FILE", write.file, "the firmware file: S-records, Intel HEX, ELF or binary")
        ->required();
    writeCommand
        ->add_option("-p,--port", write.ports,
                     "the serial port: a device path on Linux (/dev/ttyUSB0), a name on Windows "
                     "(COM3); repeat it to program several boards at once, each board once")
        ->required()
        ->expected(1)
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
                           "check that the image fits the user MAT before erasing, and compare "
                           "the user MAT's sum with the image after programming");
    writeCommand->add_flag("--read-back", write.readBack,
                           "--verify, and then read every block sent back from the board and "
                           "compare it byte for byte");
    std::string bitRateText = "38400";
    const char kBitRateHelp[] =
        "the bit rate for programming, after the matching at 9600: 38400 (the window's), 57600, "
        "62500, 76800 or another the board takes; max: the fastest of those four that comes up";
    writeCommand->add_option("--bps", bitRateText, kBitRateHelp);
    InputOptions writeInput;
    AddInputOptions(writeCommand, writeInput);
    writeCommand->footer(exitCodes);

    std::string infoFile;
    CLI::App* infoCommand = app.add_subcommand(
        "info", "Show FILE's summary, its 128-byte blocks and how long writing it takes.");
    infoCommand
        ->add_option("FILE", infoFile, "the firmware file: S-records, Intel HEX, ELF or binary")
        ->required();
    InputOptions infoInput;
    AddInputOptions(infoCommand, infoInput);
    infoCommand->add_option("--bps", bitRateText, "the run's bit rate for programming (see write)");
    infoCommand->footer(exitCodes);

    CLI::App* portsCommand = app.add_subcommand("ports", "List the serial ports of this machine.");
    portsCommand->footer(exitCodes);

    HistoryRequest history;
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
        std::fprintf(stderr,
                     "velmora-cli: unknown command '%s' (write, info, ports or history; see "
                     "velmora-cli --help)\n",
                     first.c_str());
        return kExitUsage;
    }
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend() - 1);
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp& request) {
        return app.exit(request);
    } catch (const CLI::CallForVersion& request) {
        return app.exit(request);
    } catch (const CLI::ParseError& error) {
        // Help for a subcommand is a ParseError too, with a success code.
        if (error.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
            return app.exit(error);
        }
        std::fprintf(stderr, "velmora-cli: %s (see velmora-cli --help)\n", error.what());
        return kExitUsage;
    }
    const BitRateChoice bitRates = ChooseBitRates(bitRateText);
    if (!bitRates.problem.empty()) {
        std::fprintf(stderr, "velmora-cli: %s\n", bitRates.problem.c_str());
        return kExitUsage;
    }
    if (*writeCommand) {
        write.bitRates = bitRates.rates;
        const std::string problem = PortsProblem(write.ports);
        if (!problem.empty()) {
            std::fprintf(stderr, "velmora-cli: --port: %s (see velmora-cli ports)\n",
                         problem.c_str());
            return kExitUsage;
        }
        return InputFrom(writeInput, write.input) ? WriteCommand(write) : kExitUsage;
    }
    if (*historyCommand) {
        uint32_t serial = 0;
        if (ParseSerial(serialText, serial)) {
            history.filter.serial = serial;
        }
        return HistoryCommand(history);
    }
    if (*infoCommand) {
        InputRequest input;
        return InputFrom(infoInput, input) ? InfoCommand(infoFile, input, bitRates.rates.front())
                                           : kExitUsage;
    }
    return PortsCommand();
}
