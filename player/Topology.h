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
