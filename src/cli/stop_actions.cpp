// The answer to each stop, by how many have come.
#include "cli/stop_actions.h"

StopActions ActionsFor(int handled, int caught) {
    StopActions actions;
    if (caught > handled) {
        actions.interrupt = handled == 0;
        actions.abort = caught > 1;
    }
    return actions;
}
