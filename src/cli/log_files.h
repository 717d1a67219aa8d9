// --log's files, judged before anything is opened: none may be the firmware file, and no two
// boards may write one.
#pragma once

#include <string>
#include <vector>

// Why the boards' logs cannot be written at `logPaths` (one a port, in the order of `ports`; all
// empty without --log), or empty. `firmware` is the file the run programs, as given.
std::string LogFilesProblem(const std::string& firmware, const std::vector<std::string>& ports,
                            const std::vector<std::string>& logPaths);
