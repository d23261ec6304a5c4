#pragma once

#include "link/FrameCodec.h"

namespace zendal {
class D2XXUnit;
}

// Waiting for and reading the bootloader's replies on the port the client was
// given. The bootloader answers a frame with one byte; whatever comes with it
// is not part of the answer and is purged.
namespace zendal::firmware {

// Waits until at least one byte is queued. Ok, TimedOut, or PortError when the
// queue status fails (device gone, unlinked).
WaitOutcome waitForFirstByte(D2XXUnit& port, int limitMs);

// Waits (at most limitMs) for a reply and returns its first byte as two
// upper-case hexadecimal digits; the rest of what came is purged.
TextReply receiveFirstByte(D2XXUnit& port, int limitMs);

}  // namespace zendal::firmware
