// Why an operation of an update run failed, as a value made where it failed: the step, the cause,
// the frame sent and the reply, and the cause in words, which a front end puts into a line of its
// own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bootmode/update_step.h"
#include "serial/serial_link.h"

enum class FailureCause {
    None,
    NoAnswer,           // nothing had arrived when the reply was judged
    Refused,            // the board answered otherwise than the command asks
    MalformedReply,     // the reply begins as it should, but is cut short or does not add up
    LinkLost,           // the port's device went away
    PortNotOpened,      // the port could not be opened; `portProblem` says why where it knows
    TimeBound,          // a wait for the port or the board passed its bound
    Stopped,            // the operator stopped the run
    NotStarted,         // the operation could not begin: no connection test before it, no image,
                        // no programming state, a parameter block too long
    NoSupportedDevice,  // the run: no device the board lists is the one it supports
    ImageDoesNotFit,    // the image lies outside the user MAT
    FlashDiffers        // verifying: the flash does not hold the image
};

struct StepFailure {
    Step step = Step::None;
    FailureCause cause = FailureCause::None;
    // The operation's last frame and what had arrived when its reply was judged; empty when it
    // sent nothing.
    std::vector<uint8_t> sent;
    std::vector<uint8_t> reply;
    PortOpenProblem portProblem;  // PortNotOpened
    // The cause as the board or the port showed it, without a line end: "device selection (0x10)
    // was answered 0x90 0x21: device code error".
    std::string description;
};
