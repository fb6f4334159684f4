#pragma once
// A transform of the playback topology that turns each NV12 frame upright and, for pixels that
// are not square, stretches it to its displayed width: the renderers draw what they are given
// as stored, whatever the stream's type says of its rotation or its pixels' shape (Wine 10's
// renderer on both counts). It sits in front of the video renderer only for movies that need it.

#include "common/ComObject.h"
#include "player/PictureGeometry.h"

#include <windows.h>
#include <mfidl.h>
#include <mftransform.h>
#include <wrl/client.h>

#include <cstdint>
#include <mutex>
#include <vector>

// MF_MT_VIDEO_ROTATION, which the platform's headers declare only for Windows 8 and later.
constexpr GUID VIDEO_ROTATION_ATTRIBUTE = {0xc380465d, 0x2271, 0x428c,
                                          {0x9b, 0x83, 0xec, 0xea, 0x3b, 0x4a, 0x85, 0xc1}};

class UprightTransform final : public ComObject<IMFTransform> {
public:
    static HRESULT Create(const PictureGeometry& geometry, IMFTransform** transform);

    STDMETHODIMP GetStreamLimits(DWORD* inputMinimum, DWORD* inputMaximum, DWORD* outputMinimum,
                                 DWORD* outputMaximum) override;
    STDMETHODIMP GetStreamCount(DWORD* inputs, DWORD* outputs) override;
    STDMETHODIMP GetStreamIDs(DWORD inputSize, DWORD* inputs, DWORD outputSize, DWORD* outputs) override;
    STDMETHODIMP GetInputStreamInfo(DWORD stream, MFT_INPUT_STREAM_INFO* info) override;
    STDMETHODIMP GetOutputStreamInfo(DWORD stream, MFT_OUTPUT_STREAM_INFO* info) override;
    STDMETHODIMP GetAttributes(IMFAttributes** attributes) override;
    STDMETHODIMP GetInputStreamAttributes(DWORD stream, IMFAttributes** attributes) override;
    STDMETHODIMP GetOutputStreamAttributes(DWORD stream, IMFAttributes** attributes) override;
    STDMETHODIMP DeleteInputStream(DWORD stream) override;
    STDMETHODIMP AddInputStreams(DWORD count, DWORD* ids) override;
    STDMETHODIMP GetInputAvailableType(DWORD stream, DWORD index, IMFMediaType** type) override;
    STDMETHODIMP GetOutputAvailableType(DWORD stream, DWORD index, IMFMediaType** type) override;
    STDMETHODIMP SetInputType(DWORD stream, IMFMediaType* type, DWORD flags) override;
    STDMETHODIMP SetOutputType(DWORD stream, IMFMediaType* type, DWORD flags) override;
    STDMETHODIMP GetInputCurrentType(DWORD stream, IMFMediaType** type) override;
    STDMETHODIMP GetOutputCurrentType(DWORD stream, IMFMediaType** type) override;
    STDMETHODIMP GetInputStatus(DWORD stream, DWORD* flags) override;
    STDMETHODIMP GetOutputStatus(DWORD* flags) override;
    STDMETHODIMP SetOutputBounds(LONGLONG lowerBound, LONGLONG upperBound) override;
    STDMETHODIMP ProcessEvent(DWORD stream, IMFMediaEvent* event) override;
    STDMETHODIMP ProcessMessage(MFT_MESSAGE_TYPE message, ULONG_PTR parameter) override;
    STDMETHODIMP ProcessInput(DWORD stream, IMFSample* sample, DWORD flags) override;
    STDMETHODIMP ProcessOutput(DWORD flags, DWORD count, MFT_OUTPUT_DATA_BUFFER* samples, DWORD* status) override;

private:
    explicit UprightTransform(const PictureGeometry& geometry) : geometry_(geometry) {}

    // What a frame of an input type holds and where the part to show lies.
    struct InputLayout {
        uint32_t frameHeight = 0;
        LONG stride = 0;
        uint32_t left = 0;
        uint32_t top = 0;
        PictureSize shown;
    };
    static HRESULT LayoutOf(IMFMediaType* type, InputLayout* layout);
    HRESULT OutputTypeFor(IMFMediaType* input, const InputLayout& layout, IMFMediaType** output) const;
    HRESULT Convert(IMFSample* input, IMFSample* output);

    const PictureGeometry geometry_;
    std::mutex lock_;
    Microsoft::WRL::ComPtr<IMFMediaType> inputType_;
    Microsoft::WRL::ComPtr<IMFMediaType> outputType_;
    InputLayout input_;
    PictureSize output_;
    LONG outputStride_ = 0;
    // The frame waiting for its output sample: one at a time.
    Microsoft::WRL::ComPtr<IMFSample> pending_;
    // A stretched frame still to be turned.
    std::vector<uint8_t> stretched_;
};
