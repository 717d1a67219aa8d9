// How long a whole update run takes at the protocol's fixed pacing, before it is started.
#pragma once

// One programming frame out and its ACK back at the programming bit rate, in seconds.
double BlockWireSeconds();

// A run in which every step succeeds at its first try: the fixed delays of every step, plus the
// fixed delay and the wire time of each block that is sent, in seconds.
double DesignPacedRunSeconds(int blocksSent);
