// How a write answers the operator's stops: the first ends every board's run before its next
// frame, and any later one also ends the waits of their ways out. Stops can come faster than the
// main thread looks (two Ctrl-C between two looks on Windows): each one counts.
#pragma once

struct StopActions {
    bool interrupt = false;  // end the runs before their next frame
    bool abort = false;      // stop waiting for the ways out as well
};

// What is due now that `caught` stops have come, of which `handled` were answered already.
StopActions ActionsFor(int handled, int caught);
