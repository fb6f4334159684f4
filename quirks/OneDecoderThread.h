#pragma once
// How many threads the platform's video decoders use in this process.

// Has Wine's decoders decode each movie on one thread. Call once, before the process's first
// media source; Wine only: PlatformQuirks calls it only there.
void UseOneDecoderThread();
