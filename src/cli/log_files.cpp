// The refusals of --log's files that would destroy an input of the run or mix two boards' logs.
#include "cli/log_files.h"

#include "cli/file_identity.h"

namespace {

// One file, by its name or, where it exists, by what the name leads to.
bool OneFile(const std::string& first, const std::string& second) {
    return first == second || SameFile(first, second);
}

}  // namespace

std::string LogFilesProblem(const std::string& firmware, const std::vector<std::string>& ports,
                            const std::vector<std::string>& logPaths) {
    for (size_t i = 0; i < logPaths.size(); ++i) {
        if (logPaths[i].empty()) {
            continue;
        }
        // Opening the log for writing would empty the file before it is read.
        if (OneFile(logPaths[i], firmware)) {
            return "--log: " + logPaths[i] + " is the firmware file " + firmware +
                   ": writing the log there would destroy it";
        }
        for (size_t j = 0; j < i; ++j) {
            if (OneFile(logPaths[i], logPaths[j])) {
                return "--log: the logs of " + ports[j] + " and " + ports[i] +
                       " would both go to " + logPaths[i];
            }
        }
    }
    return std::string();
}
