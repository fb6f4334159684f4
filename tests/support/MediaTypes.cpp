#include "MediaTypes.h"

#include <gtest/gtest.h>

#include <mfapi.h>

using Microsoft::WRL::ComPtr;

ComPtr<IMFMediaType> VideoType(REFGUID subtype, bool compressed, UINT32 width) {
    ComPtr<IMFMediaType> type;
    EXPECT_HRESULT_SUCCEEDED(MFCreateMediaType(&type));
    type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    type->SetGUID(MF_MT_SUBTYPE, subtype);
    type->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, compressed ? FALSE : TRUE);
    type->SetUINT32(MF_MT_COMPRESSED, compressed ? TRUE : FALSE);
    MFSetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, width, 240);
    return type;
}
