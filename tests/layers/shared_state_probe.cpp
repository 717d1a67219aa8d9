// A library with the kinds of process-wide state the check must find: a global, a file-level
// static and a function-level static with its guard.
#include <string>

int g_plantedCounter = 0;

namespace {

int plantedCalls = 0;

}  // namespace

int PlantedCount() {
    static std::string planted = "planted";
    ++plantedCalls;
    return ++g_plantedCounter + plantedCalls + static_cast<int>(planted.size());
}
