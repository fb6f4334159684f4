#pragma once
// The parts of a run, and what they share: the movies, and sessions played straight on Media
// Foundation to hold the module's figures to.

#include "HostFrame.h"

#include <windows.h>

#include <string>

// Long enough for a file to open, its topology to resolve and the session to report Started.
constexpr DWORD PLAYING_WAIT_MS = 10000;

// The sample movie, and the one without sound.
extern std::wstring samplePath;
extern std::wstring silentPath;

// Opens the sample in viewer and waits until it plays; false (and a failed check) otherwise.
bool StartPlaying(Viewer& viewer);
// Sessions played one after another straight on Media Foundation, in the pane the module used.
void PlayDirect(Pane& pane, int sessions, DWORD playMs);

// Long runs and many viewers at once.
void RunCycles(int cycles);
void RunSilent(int cycles);
void RunMany();
// Teardown and re-open in every state in which a viewer waits on the session or on the user.
void RunPending();
