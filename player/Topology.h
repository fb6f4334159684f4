#pragma once
// The playback topology of a presentation: every selected stream wired to an audio or video
// renderer.

#include <windows.h>
#include <mfidl.h>

HRESULT CreatePlaybackTopology(IMFMediaSource* source, IMFPresentationDescriptor* descriptor,
                               HWND videoWindow, IMFTopology** topology);

HRESULT AddStreamBranch(IMFTopology* topology, IMFMediaSource* source,
                        IMFPresentationDescriptor* descriptor, DWORD index, HWND videoWindow);

// Whether the machine has an audio output device. Without one a topology holding an audio
// renderer fails as a whole, so audio streams are then left out and the video plays silently.
bool HasAudioOutput();

// Tells the video renderers' sample allocators to stop reporting returned frames to the
// session. A renderer gives its last frames back only when it is destroyed, after the
// session's shutdown has freed what those reports refer to.
void DetachVideoSampleAllocators(IMFMediaSession* session);

// Wine's video renderer turns the presentation clock holding its own lock and then its
// presenter's, while the presenter, told that a frame came back to its pool, holds its own lock
// and then takes the renderer's. When the two meet, both wait for each other for good, and one
// of them is the process's shared work-queue thread: every later open then times out. The
// presenter stops listening to its pool by itself once the clock has stopped, and listens again
// when the clock starts; this stops it listening just before, and lets a report under way
// finish, so that a clock stop finds nothing to meet. Nothing happens on Windows.
// To be called on the platform's shared work queue, ahead of the session's own stop there.
void QuietVideoPresentersBeforeClockStop(IMFMediaSession* session);

// The same, put on that queue ahead of a session command (stop or close) that stops the clock:
// the command and the clock's reports take their turns on the queue after it.
void QueueQuietVideoPresentersBeforeClockStop(IMFMediaSession* session);
