// The protocol waits of discovery and probing (seconds long) pass through here, so that tests
// can shorten them all by one factor. The factor is 1 unless a test sets another.
#pragma once

namespace tessivor::camproto {

// `ms` multiplied by the factor in use (at least 1 ms for a positive wait).
int scaledWaitMs(int ms);

// Sets the factor in per cent of the real time (100 = real). Tests only; set it before any
// exchange runs.
void setWaitScaleForTesting(int percent);

} // namespace tessivor::camproto
