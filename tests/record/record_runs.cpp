// Writes runs into a record as a station would, for the tests and the benchmark that need
// several processes on one store: prepares it, then begins (and unless --unfinished, finishes)
// one run a board, printing each board's serial number ("-" for none) on its own line.
//
// Usage: record_runs --record LOCATION --port NAME --boards N [--serial-address ADDR]
//                    [--serial-start N] [--unfinished] [--wait]
// --wait reads a line from standard input before the first run, so that a test can start several
// processes and let them go at once. The time the record took goes to standard error.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "record/record_store.h"
#include "record/station_name.h"
#include "record/utc_time.h"

namespace {

struct Options {
    std::string record;
    std::string port = "/dev/ttyUSB0";
    int boards = 1;
    std::optional<SerialRequest> serial;
    bool unfinished = false;
    bool wait = false;
};

bool Parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (name == "--unfinished") {
            options.unfinished = true;
        } else if (name == "--wait") {
            options.wait = true;
        } else if (!value) {
            return false;
        } else if (name == "--record") {
            options.record = argv[++i];
        } else if (name == "--port") {
            options.port = argv[++i];
        } else if (name == "--boards") {
            options.boards = std::atoi(argv[++i]);
        } else if (name == "--serial-address") {
            options.serial = options.serial.value_or(SerialRequest());
            options.serial->address = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 0));
        } else if (name == "--serial-start") {
            options.serial = options.serial.value_or(SerialRequest());
            options.serial->start = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else {
            return false;
        }
    }
    return !options.record.empty() && options.boards > 0;
}

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!Parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: record_runs --record LOCATION --boards N [...]\n");
        return 2;
    }
    const auto opening = std::chrono::steady_clock::now();
    std::string problem;
    std::unique_ptr<RecordStore> store =
        OpenRecordStore(options.record, RecordAccess::Write, problem);
    if (store) {
        problem = store->Prepare();
    }
    if (!problem.empty()) {
        std::fprintf(stderr, "record_runs: %s\n", problem.c_str());
        return 1;
    }
    const double prepared = MillisecondsSince(opening);
    if (options.wait) {
        std::string go;
        std::getline(std::cin, go);
    }
    const auto running = std::chrono::steady_clock::now();
    for (int board = 0; board < options.boards; ++board) {
        RunStart start;
        start.startedAt = UtcTimestamp(std::chrono::system_clock::now());
        start.station = StationName();
        start.port = options.port;
        start.firmware = "samples/velmora-demo.mot";
        start.firmwareSha256 = std::string(64, '0');
        start.imageSum = 0x00ABCDEF;
        start.bitRate = 38400;
        start.velmoraVersion = "test";
        RunTicket ticket;
        problem = store->Begin(start, options.serial, ticket);
        if (problem.empty() && !options.unfinished) {
            RunFinish finish;
            finish.ok = true;
            finish.message = options.port + ": programmed";
            finish.seconds = 1.5;
            finish.bitRate = 38400;
            problem = store->Finish(ticket, finish);
        }
        if (!problem.empty()) {
            std::fprintf(stderr, "record_runs: %s\n", problem.c_str());
            return 1;
        }
        std::printf("%s\n", ticket.serial ? std::to_string(*ticket.serial).c_str() : "-");
        std::fflush(stdout);
    }
    std::fprintf(stderr, "record_runs: opened and prepared in %.1f ms, %d boards in %.1f ms\n",
                 prepared, options.boards, MillisecondsSince(running));
    return 0;
}
