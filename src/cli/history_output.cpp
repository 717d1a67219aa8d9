// The records as velmora-cli history prints them.
#include "cli/history_output.h"

#include <algorithm>
#include <cstdio>

#include "cli/json_lines.h"
#include "record/run_columns.h"

namespace {

std::string Result(const RunRecord& record) {
    if (!record.finish) {
        return "unfinished";
    }
    return record.finish->ok ? "PASS" : "FAIL";
}

std::string StepText(const RunRecord& record) {
    if (!record.finish || record.finish->step <= 0) {
        return "-";
    }
    char text[16];
    std::snprintf(text, sizeof text, "[%02d]", record.finish->step);
    return text;
}

std::string TimeText(const RunRecord& record) {
    if (!record.finish) {
        return "-";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", record.finish->seconds);
    return text;
}

}  // namespace

std::string HistoryTable(const std::vector<RunRecord>& records) {
    if (records.empty()) {
        return "no runs match\n";
    }
    std::vector<std::vector<std::string>> rows = {{"started_at", "station", "port", "serial",
                                                   "result", "exit", "step", "time", "firmware",
                                                   "message"}};
    for (const RunRecord& record : records) {
        const RunStart& start = record.start;
        rows.push_back({start.startedAt, start.station, start.port,
                        record.serial ? std::to_string(*record.serial) : "-", Result(record),
                        record.finish ? std::to_string(record.finish->exitCode) : "-",
                        StepText(record), TimeText(record), start.firmware,
                        record.finish ? record.finish->message : ""});
    }
    std::vector<size_t> widths(rows[0].size(), 0);
    for (const auto& row : rows) {
        for (size_t column = 0; column < row.size(); ++column) {
            widths[column] = std::max(widths[column], row[column].size());
        }
    }
    std::string table;
    for (const auto& row : rows) {
        std::string line;
        for (size_t column = 0; column + 1 < row.size(); ++column) {
            line += row[column] + std::string(widths[column] + 2 - row[column].size(), ' ');
        }
        line += row.back();
        // The last column may be empty: no blanks at a line's end.
        line.erase(line.find_last_not_of(' ') + 1);
        table += line + "\n";
    }
    return table;
}

std::string HistoryJsonLine(const RunRecord& record) {
    const RunStart& start = record.start;
    JsonObject object;
    object.Number("id", record.id)
        .Text("started_at", start.startedAt)
        .Text("station", start.station)
        .Text("port", start.port);
    if (start.adapter.empty()) {
        object.Null("adapter");
    } else {
        object.Text("adapter", start.adapter);
    }
    object.Text("firmware", start.firmware)
        .Text("firmware_sha256", start.firmwareSha256)
        .Text("image_sum", ImageSumText(start.imageSum));
    const std::pair<const char*, const std::optional<uint32_t>*> numbers[] = {
        {"serial_address", &record.serialAddress}, {"serial", &record.serial}};
    for (const auto& number : numbers) {
        if (*number.second) {
            object.Number(number.first, **number.second);
        } else {
            object.Null(number.first);
        }
    }
    object.Number("bit_rate", start.bitRate);
    if (record.finish) {
        const RunFinish& finish = *record.finish;
        object.Flag("ok", finish.ok).Number("exit_code", finish.exitCode);
        if (finish.step > 0) {
            object.Number("step", finish.step);
        } else {
            object.Null("step");
        }
        object.Text("message", finish.message).Seconds("seconds", finish.seconds);
    } else {
        object.Null("ok").Null("exit_code").Null("step").Null("message").Null("seconds");
    }
    object.Text("velmora_version", start.velmoraVersion);
    return object.Line();
}
