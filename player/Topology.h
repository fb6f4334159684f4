#pragma once
// The playback topology of a presentation: every selected stream wired to an audio or video
// renderer, a video stream through the module's upright transform when its pictures are not
// shown as stored (fileVideo: what the file's structure says of its video track).

#include "moviefile/MovieFacts.h"

#include <windows.h>
#include <mfidl.h>

HRESULT CreatePlaybackTopology(IMFMediaSource* source, IMFPresentationDescriptor* descriptor,
                               HWND videoWindow, const VideoTrackFacts& fileVideo, IMFTopology** topology);

HRESULT AddStreamBranch(IMFTopology* topology, IMFMediaSource* source,
                        IMFPresentationDescriptor* descriptor, DWORD index, HWND videoWindow,
                        const VideoTrackFacts& fileVideo);

// Whether the machine has an audio output device. Without one a topology holding the streaming
// audio renderer fails as a whole with MF_E_NO_AUDIO_PLAYBACK_DEVICE, the picture too (Wine 8
// and 10; kept on Windows, where a machine may have no device either), so audio streams are then
// left out and the video plays silently. Test: NoAudioDevice.MoviePlaysItsPictureSilently.
bool HasAudioOutput();

// Tells the video renderers' sample allocators to stop reporting returned frames to the
// session. A renderer gives its last frames back only when it is destroyed, after the
// session's shutdown has freed what those reports refer to.
void DetachVideoSampleAllocators(IMFMediaSession* session);

// Wine 10's session gives each video renderer's sample allocator two frames: one stays with the
// renderer until the next arrives, and the allocator hears of the other's return on the frame-
// tracking thread. When the session takes up the renderer's request before that, it goes on
// taking and returning the one free frame and never asks the source, and the picture stops,
// often for good, while the sound plays on. With spare frames, as the session itself gives after
// a format change, the request reaches the source. For the session's current topology, before
// it starts.
constexpr DWORD VIDEO_SAMPLES_WITH_SPARE = 4;
void GiveVideoSampleAllocatorsASpare(IMFMediaSession* session);
