// velmora-cli history: the records of the runs that a write kept with --record.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/history_output.h"
#include "record/record_store.h"

int HistoryCommand(const HistoryRequest& request) {
    std::string problem;
    std::unique_ptr<RecordStore> store =
        OpenRecordStore(request.record, RecordAccess::Read, problem);
    std::vector<RunRecord> records;
    if (store) {
        problem = store->Read(request.filter, records);
    }
    if (!problem.empty()) {
        std::fprintf(stderr, "velmora-cli: %s\n", problem.c_str());
        return kExitRecordFailed;
    }
    if (!request.json) {
        std::fputs(HistoryTable(records).c_str(), stdout);
        return kExitProgrammed;
    }
    for (const RunRecord& record : records) {
        // A reader that went away ends the printing.
        if (std::fputs(HistoryJsonLine(record).c_str(), stdout) < 0) {
            break;
        }
    }
    return kExitProgrammed;
}
