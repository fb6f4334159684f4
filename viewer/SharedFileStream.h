#pragma once
// A read-only stream over a file that the viewer opens itself, sharing it for reading, writing
// and deletion, so that the file the user looks at stays free for their own file operations.

#include <windows.h>
#include <mfidl.h>
#include <objidl.h>

#include "moviefile/MovieFacts.h"

// Opens path for reading. On failure the result is the last Win32 error as a status. With
// bytes, also gives the file's bytes read at an offset through the stream's handle, leaving the
// stream's position alone; they are valid while the stream is.
HRESULT OpenSharedFileStream(const wchar_t* path, IStream** stream, const ByteSource** bytes = nullptr);

// The platform's byte stream over a stream; it is in the platform's library, but not every
// header set declares it.
#if defined(__MINGW32__)
STDAPI MFCreateMFByteStreamOnStream(IStream* stream, IMFByteStream** byteStream);
#endif
