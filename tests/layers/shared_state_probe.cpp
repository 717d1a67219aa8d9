// A library with the kinds of process-wide state the check must find: a global, a file-level
// static, a function-level static with its guard, and a buffer of thread-local storage.
#include <string>
#include <vector>

int g_plantedCounter = 0;

namespace {

int plantedCalls = 0;
thread_local std::vector<char> plantedPerThread;

}  // namespace

int PlantedCount() {
    static std::string planted = "planted";
    ++plantedCalls;
    plantedPerThread.push_back('p');
    return ++g_plantedCounter + plantedCalls + static_cast<int>(planted.size()) +
           static_cast<int>(plantedPerThread.size());
}
