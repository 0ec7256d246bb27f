// The system's short alert sound: a tone of about a tenth of a second through the sound output
// (platform/audio_output.h). Where the output made for it is the silent one (no sound device, as
// on CI) nothing sounds. Callable from any thread and returns at once; a beep asked for while the
// previous one still sounds merges into it, so a caller that beeps on every frame never builds
// up a queue of tones.
#pragma once

namespace tessivor {

void messageBeep();

// Closes the output of the beeps; the next beep makes a new one through the output factory in
// use then (tests install a factory and call this first).
void resetMessageBeep();

} // namespace tessivor
