#pragma once
// Whether the system can decode a presentation's video, and the name of a video format for the
// error box.

#include "moviefile/MovieFacts.h"

#include <windows.h>
#include <mfidl.h>

#include <string>

// On Windows a file's source offers its video compressed and leaves the decoding to a decoder
// that the topology finds in attach, where a video that no decoder on the system takes would
// fail without a word to the user. MF_E_TOPO_CODEC_NOT_FOUND, with the subtype, when a selected
// video stream's compressed subtype has no decoder; S_OK when each has one or when it cannot be
// told. Wine's source decodes by itself and offers uncompressed video: there the check finds
// nothing to do.
HRESULT CheckVideoDecoders(IMFPresentationDescriptor* descriptor, GUID* undecodable);

// A compressed video subtype the way users know the format ("HEVC (H.265)"); empty when unknown.
std::wstring DescribeVideoSubtype(const GUID& subtype);

// Whether the video is of a format that the platform's own decoder takes wherever there is one:
// H.264 in its Baseline, Main or High profile, 8-bit 4:2:0. A source that refuses such a movie
// refuses it for another reason, as a rule damage.
bool EverySystemDecodes(const VideoTrackFacts& video);
