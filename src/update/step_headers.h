// Each numbered step's header as the update run writes it into the log, which also names the step
// under way for a front end that shows more than the log.
#pragma once

#include <string>

#include "bootmode/update_step.h"

// "[03] APPORVAL \r\n"; [08] and [09] name the rate the link moves to, and [01]'s header is
// followed by the port's name and a line end. Empty for Step::None.
std::wstring StepHeader(Step step, int bitRate);
