#pragma once
// Media types the tests make for streams and transforms of their own.

#include <windows.h>
#include <mfobjects.h>
#include <wrl/client.h>

// A video type of the given subtype, 240 rows high, marked compressed or not.
Microsoft::WRL::ComPtr<IMFMediaType> VideoType(REFGUID subtype, bool compressed, UINT32 width = 320);
