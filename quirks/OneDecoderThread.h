#pragma once
// How many threads the platform's video decoders use in this process.

// Under Wine, has the platform's decoders decode each movie on one thread. Call once, before the
// process's first media source; on Windows it does nothing.
void UseOneDecoderThreadOnWine();
