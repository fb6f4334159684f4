#pragma once
// The parts of a run, and what they share: the movies, and sessions played straight on Media
// Foundation to hold the module's figures to.

#include "HostFrame.h"

#include <windows.h>

#include <functional>
#include <string>

// Long enough for a file to open, its topology to resolve and the session to report Started.
constexpr DWORD PLAYING_WAIT_MS = 10000;

// The media folder given; in it the sample movie, and the one without sound.
extern std::wstring mediaFolder;
extern std::wstring samplePath;
extern std::wstring silentPath;

// Opens the sample in viewer and waits until it plays; false (and a failed check) otherwise.
bool StartPlaying(Viewer& viewer);
// Sessions played one after another straight on Media Foundation in pane; whilePlaying runs at
// the end of each session's play.
void PlayDirect(Pane& pane, int sessions, DWORD playMs, const std::function<void()>& whilePlaying = nullptr);

// Long runs and many viewers at once.
void RunCycles(int cycles);
void RunSilent(int cycles);
void RunMany();
// A host that browses files, against the same played directly, each in a process of its own:
// the processes' memory and threads as the system counts them. With a side, runs that side's
// process (its name a word no other command line holds).
void RunFootprint(const std::wstring& mediaDir, int files, const std::wstring& side);
// Teardown and re-open in every state in which a viewer waits on the session or on the user.
void RunPending();
