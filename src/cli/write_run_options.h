// What every run of velmora-cli write does beyond the window's design.
#pragma once

#include "cli/commands.h"
#include "update/update_thread.h"

// The request's choices, and what velmora-cli does on every board: the documented end of
// programming, the user MAT's extent before the erase, a bounded wait for a long erase, a block
// spoilt on the line sent once more, and retries before anything is erased.
RunOptions WriteRunOptions(const WriteRequest& request);
