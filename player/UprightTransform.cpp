#include "player/UprightTransform.h"

#include "player/FrameTurn.h"

#include <mfapi.h>
#include <mferror.h>

#include <new>
#include <utility>

using Microsoft::WRL::ComPtr;

namespace {

uint32_t EvenUp(uint32_t value) { return value + (value & 1); }

// The part of the frame to show, when the type names one that lies inside the frame.
bool ApertureOf(IMFMediaType* type, REFGUID key, uint32_t width, uint32_t height, MFVideoArea* area) {
    UINT32 size = 0;
    if (FAILED(type->GetBlob(key, reinterpret_cast<UINT8*>(area), sizeof(*area), &size)) || size != sizeof(*area))
        return false;
    const LONG x = area->OffsetX.value;
    const LONG y = area->OffsetY.value;
    return x >= 0 && y >= 0 && area->Area.cx > 0 && area->Area.cy > 0 &&
           static_cast<uint64_t>(x) + static_cast<uint64_t>(area->Area.cx) <= width &&
           static_cast<uint64_t>(y) + static_cast<uint64_t>(area->Area.cy) <= height;
}

// A buffer of a sample, locked as a picture while this lives: through its 2-D interface where it
// has one, which knows the picture's real pitch, else as contiguous bytes at the type's stride.
class LockedPicture {
public:
    LockedPicture() = default;
    LockedPicture(const LockedPicture&) = delete;
    LockedPicture& operator=(const LockedPicture&) = delete;
    ~LockedPicture() {
        if (twoD_) twoD_->Unlock2D();
        if (plain_) plain_->Unlock();
    }

    // bytes is what a contiguous picture at stride takes; a contiguous buffer must hold that
    // much: what it has been given for reading, what it can take for writing.
    HRESULT Lock(IMFMediaBuffer* buffer, LONG stride, size_t bytes, bool writing) {
        ComPtr<IMF2DBuffer> twoD;
        if (SUCCEEDED(buffer->QueryInterface(IID_PPV_ARGS(&twoD)))) {
            BYTE* scanline0 = nullptr;
            LONG pitch = 0;
            const HRESULT hr = twoD->Lock2D(&scanline0, &pitch);
            if (FAILED(hr)) return hr;
            twoD_ = std::move(twoD);
            // NV12 is never stored bottom-up.
            if (pitch <= 0) return MF_E_INVALIDMEDIATYPE;
            data = scanline0;
            pitch_ = pitch;
            return S_OK;
        }
        BYTE* start = nullptr;
        DWORD maximum = 0;
        DWORD current = 0;
        const HRESULT hr = buffer->Lock(&start, &maximum, &current);
        if (FAILED(hr)) return hr;
        plain_ = buffer;
        if ((writing ? maximum : current) < bytes) return MF_E_BUFFERTOOSMALL;
        data = start;
        pitch_ = stride;
        return S_OK;
    }

    bool Contiguous() const { return plain_ != nullptr; }
    ptrdiff_t Pitch() const { return pitch_; }

    uint8_t* data = nullptr;

private:
    ptrdiff_t pitch_ = 0;
    ComPtr<IMF2DBuffer> twoD_;
    ComPtr<IMFMediaBuffer> plain_;
};

}  // namespace

HRESULT UprightTransform::Create(const PictureGeometry& geometry, IMFTransform** transform) {
    if (!transform) return E_POINTER;
    *transform = new (std::nothrow) UprightTransform(geometry);
    return *transform ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP UprightTransform::GetStreamLimits(DWORD* inputMinimum, DWORD* inputMaximum, DWORD* outputMinimum,
                                               DWORD* outputMaximum) {
    if (!inputMinimum || !inputMaximum || !outputMinimum || !outputMaximum) return E_POINTER;
    *inputMinimum = *inputMaximum = *outputMinimum = *outputMaximum = 1;
    return S_OK;
}

STDMETHODIMP UprightTransform::GetStreamCount(DWORD* inputs, DWORD* outputs) {
    if (!inputs || !outputs) return E_POINTER;
    *inputs = *outputs = 1;
    return S_OK;
}

// One input and one output, both numbered 0.
STDMETHODIMP UprightTransform::GetStreamIDs(DWORD, DWORD*, DWORD, DWORD*) { return E_NOTIMPL; }

STDMETHODIMP UprightTransform::GetInputStreamInfo(DWORD stream, MFT_INPUT_STREAM_INFO* info) {
    if (!info) return E_POINTER;
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    const std::lock_guard<std::mutex> hold(lock_);
    *info = {};
    info->dwFlags = MFT_INPUT_STREAM_WHOLE_SAMPLES | MFT_INPUT_STREAM_SINGLE_SAMPLE_PER_BUFFER;
    if (inputType_) info->cbSize = static_cast<DWORD>(ContiguousNv12Size(input_.stride, input_.frameHeight));
    return S_OK;
}

STDMETHODIMP UprightTransform::GetOutputStreamInfo(DWORD stream, MFT_OUTPUT_STREAM_INFO* info) {
    if (!info) return E_POINTER;
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    const std::lock_guard<std::mutex> hold(lock_);
    *info = {};
    // The caller gives the samples: the video renderer's own, so that the frame is written
    // once, straight where the renderer draws it from.
    info->dwFlags = MFT_OUTPUT_STREAM_WHOLE_SAMPLES | MFT_OUTPUT_STREAM_SINGLE_SAMPLE_PER_BUFFER |
                    MFT_OUTPUT_STREAM_FIXED_SAMPLE_SIZE;
    if (outputType_) info->cbSize = static_cast<DWORD>(ContiguousNv12Size(outputStride_, output_.height));
    return S_OK;
}

STDMETHODIMP UprightTransform::GetAttributes(IMFAttributes**) { return E_NOTIMPL; }
STDMETHODIMP UprightTransform::GetInputStreamAttributes(DWORD, IMFAttributes**) { return E_NOTIMPL; }
STDMETHODIMP UprightTransform::GetOutputStreamAttributes(DWORD, IMFAttributes**) { return E_NOTIMPL; }
STDMETHODIMP UprightTransform::DeleteInputStream(DWORD) { return E_NOTIMPL; }
STDMETHODIMP UprightTransform::AddInputStreams(DWORD, DWORD*) { return E_NOTIMPL; }

STDMETHODIMP UprightTransform::GetInputAvailableType(DWORD stream, DWORD index, IMFMediaType** type) {
    if (!type) return E_POINTER;
    *type = nullptr;
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    if (index != 0) return MF_E_NO_MORE_TYPES;
    ComPtr<IMFMediaType> offered;
    HRESULT hr = MFCreateMediaType(&offered);
    if (FAILED(hr)) return hr;
    hr = offered->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    if (FAILED(hr)) return hr;
    hr = offered->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_NV12);
    if (FAILED(hr)) return hr;
    *type = offered.Detach();
    return S_OK;
}

STDMETHODIMP UprightTransform::GetOutputAvailableType(DWORD stream, DWORD index, IMFMediaType** type) {
    if (!type) return E_POINTER;
    *type = nullptr;
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    const std::lock_guard<std::mutex> hold(lock_);
    if (!inputType_) return MF_E_TRANSFORM_TYPE_NOT_SET;
    if (index != 0) return MF_E_NO_MORE_TYPES;
    return OutputTypeFor(inputType_.Get(), input_, type);
}

HRESULT UprightTransform::LayoutOf(IMFMediaType* type, InputLayout* layout) {
    GUID major{};
    GUID subtype{};
    HRESULT hr = type->GetGUID(MF_MT_MAJOR_TYPE, &major);
    if (FAILED(hr)) return hr;
    hr = type->GetGUID(MF_MT_SUBTYPE, &subtype);
    if (FAILED(hr)) return hr;
    if (major != MFMediaType_Video || subtype != MFVideoFormat_NV12) return MF_E_INVALIDMEDIATYPE;
    UINT32 width = 0;
    UINT32 height = 0;
    hr = MFGetAttributeSize(type, MF_MT_FRAME_SIZE, &width, &height);
    if (FAILED(hr)) return hr;
    if (width == 0 || height == 0) return MF_E_INVALIDMEDIATYPE;

    UINT32 stride = 0;
    if (FAILED(type->GetUINT32(MF_MT_DEFAULT_STRIDE, &stride))) {
        LONG computed = 0;
        hr = MFGetStrideForBitmapInfoHeader(MFVideoFormat_NV12.Data1, width, &computed);
        if (FAILED(hr)) return hr;
        stride = static_cast<UINT32>(computed);
    }
    // A stride that does not hold a row of colour pairs, or that runs bottom-up, is no NV12
    // layout this can read.
    const LONG signedStride = static_cast<LONG>(stride);
    if (signedStride < static_cast<LONG>(EvenUp(width))) return MF_E_INVALIDMEDIATYPE;

    MFVideoArea area{};
    if (!ApertureOf(type, MF_MT_MINIMUM_DISPLAY_APERTURE, width, height, &area) &&
        !ApertureOf(type, MF_MT_GEOMETRIC_APERTURE, width, height, &area)) {
        area = {};
        area.Area.cx = static_cast<LONG>(width);
        area.Area.cy = static_cast<LONG>(height);
    }
    // The colour samples cover pixel pairs: the shown part starts on a pair.
    layout->left = static_cast<uint32_t>(area.OffsetX.value) & ~1u;
    layout->top = static_cast<uint32_t>(area.OffsetY.value) & ~1u;
    layout->shown = {static_cast<uint32_t>(area.Area.cx), static_cast<uint32_t>(area.Area.cy)};
    layout->frameHeight = height;
    layout->stride = signedStride;
    return S_OK;
}

HRESULT UprightTransform::OutputTypeFor(IMFMediaType* input, const InputLayout& layout, IMFMediaType** output) const {
    const PictureSize size = DisplayedSize(layout.shown, geometry_);
    ComPtr<IMFMediaType> type;
    HRESULT hr = MFCreateMediaType(&type);
    if (FAILED(hr)) return hr;
    // The colour description, frame rate and the like carry over; the picture's shape does not.
    hr = input->CopyAllItems(type.Get());
    if (FAILED(hr)) return hr;
    type->DeleteItem(MF_MT_MINIMUM_DISPLAY_APERTURE);
    type->DeleteItem(MF_MT_GEOMETRIC_APERTURE);
    type->DeleteItem(MF_MT_PAN_SCAN_APERTURE);
    hr = MFSetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, size.width, size.height);
    if (FAILED(hr)) return hr;
    hr = type->SetUINT32(MF_MT_DEFAULT_STRIDE, EvenUp(size.width));
    if (FAILED(hr)) return hr;
    hr = MFSetAttributeRatio(type.Get(), MF_MT_PIXEL_ASPECT_RATIO, 1, 1);
    if (FAILED(hr)) return hr;
    hr = type->SetUINT32(VIDEO_ROTATION_ATTRIBUTE, 0);
    if (FAILED(hr)) return hr;
    hr = type->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive);
    if (FAILED(hr)) return hr;
    hr = type->SetUINT32(MF_MT_FIXED_SIZE_SAMPLES, TRUE);
    if (FAILED(hr)) return hr;
    hr = type->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, TRUE);
    if (FAILED(hr)) return hr;
    hr = type->SetUINT32(MF_MT_SAMPLE_SIZE,
                         static_cast<UINT32>(ContiguousNv12Size(EvenUp(size.width), size.height)));
    if (FAILED(hr)) return hr;
    *output = type.Detach();
    return S_OK;
}

STDMETHODIMP UprightTransform::SetInputType(DWORD stream, IMFMediaType* type, DWORD flags) {
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    const bool testOnly = (flags & MFT_SET_TYPE_TEST_ONLY) != 0;
    const std::lock_guard<std::mutex> hold(lock_);
    if (pending_) return MF_E_TRANSFORM_CANNOT_CHANGE_MEDIATYPE_WHILE_PROCESSING;
    if (!type) {
        if (testOnly) return S_OK;
        inputType_.Reset();
        outputType_.Reset();
        return S_OK;
    }
    InputLayout layout;
    HRESULT hr = LayoutOf(type, &layout);
    if (FAILED(hr) || testOnly) return hr;

    ComPtr<IMFMediaType> output;
    hr = OutputTypeFor(type, layout, &output);
    if (FAILED(hr)) return hr;
    inputType_ = type;
    input_ = layout;
    // The output follows the input at once, so that the topology can take it as it stands. A
    // new input that changes the picture's size leaves the output to be set again.
    const PictureSize size = DisplayedSize(layout.shown, geometry_);
    if (outputType_ && (size.width != output_.width || size.height != output_.height)) {
        outputType_.Reset();
        return S_OK;
    }
    if (!outputType_) {
        outputType_ = std::move(output);
        output_ = size;
        outputStride_ = static_cast<LONG>(EvenUp(size.width));
    }
    return S_OK;
}

STDMETHODIMP UprightTransform::SetOutputType(DWORD stream, IMFMediaType* type, DWORD flags) {
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    const bool testOnly = (flags & MFT_SET_TYPE_TEST_ONLY) != 0;
    const std::lock_guard<std::mutex> hold(lock_);
    if (pending_) return MF_E_TRANSFORM_CANNOT_CHANGE_MEDIATYPE_WHILE_PROCESSING;
    if (!type) {
        if (!testOnly) outputType_.Reset();
        return S_OK;
    }
    if (!inputType_) return MF_E_TRANSFORM_TYPE_NOT_SET;
    GUID subtype{};
    UINT32 width = 0;
    UINT32 height = 0;
    HRESULT hr = type->GetGUID(MF_MT_SUBTYPE, &subtype);
    if (FAILED(hr)) return hr;
    hr = MFGetAttributeSize(type, MF_MT_FRAME_SIZE, &width, &height);
    if (FAILED(hr)) return hr;
    const PictureSize size = DisplayedSize(input_.shown, geometry_);
    if (subtype != MFVideoFormat_NV12 || width != size.width || height != size.height) return MF_E_INVALIDMEDIATYPE;
    // Without a stride of its own the type's rows are packed.
    UINT32 stride = EvenUp(width);
    type->GetUINT32(MF_MT_DEFAULT_STRIDE, &stride);
    if (static_cast<LONG>(stride) < static_cast<LONG>(EvenUp(width))) return MF_E_INVALIDMEDIATYPE;
    if (testOnly) return S_OK;
    outputType_ = type;
    output_ = size;
    outputStride_ = static_cast<LONG>(stride);
    return S_OK;
}

STDMETHODIMP UprightTransform::GetInputCurrentType(DWORD stream, IMFMediaType** type) {
    if (!type) return E_POINTER;
    *type = nullptr;
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    const std::lock_guard<std::mutex> hold(lock_);
    if (!inputType_) return MF_E_TRANSFORM_TYPE_NOT_SET;
    *type = ComPtr<IMFMediaType>(inputType_).Detach();
    return S_OK;
}

STDMETHODIMP UprightTransform::GetOutputCurrentType(DWORD stream, IMFMediaType** type) {
    if (!type) return E_POINTER;
    *type = nullptr;
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    const std::lock_guard<std::mutex> hold(lock_);
    if (!outputType_) return MF_E_TRANSFORM_TYPE_NOT_SET;
    *type = ComPtr<IMFMediaType>(outputType_).Detach();
    return S_OK;
}

STDMETHODIMP UprightTransform::GetInputStatus(DWORD stream, DWORD* flags) {
    if (!flags) return E_POINTER;
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    const std::lock_guard<std::mutex> hold(lock_);
    *flags = pending_ ? 0 : MFT_INPUT_STATUS_ACCEPT_DATA;
    return S_OK;
}

STDMETHODIMP UprightTransform::GetOutputStatus(DWORD* flags) {
    if (!flags) return E_POINTER;
    const std::lock_guard<std::mutex> hold(lock_);
    *flags = pending_ ? MFT_OUTPUT_STATUS_SAMPLE_READY : 0;
    return S_OK;
}

STDMETHODIMP UprightTransform::SetOutputBounds(LONGLONG, LONGLONG) { return E_NOTIMPL; }
STDMETHODIMP UprightTransform::ProcessEvent(DWORD, IMFMediaEvent*) { return E_NOTIMPL; }

STDMETHODIMP UprightTransform::ProcessMessage(MFT_MESSAGE_TYPE message, ULONG_PTR) {
    switch (message) {
    case MFT_MESSAGE_COMMAND_FLUSH: {
        const std::lock_guard<std::mutex> hold(lock_);
        pending_.Reset();
        return S_OK;
    }
    // The frames are turned in memory.
    case MFT_MESSAGE_SET_D3D_MANAGER:
        return E_NOTIMPL;
    // A frame is turned as soon as its output sample comes, so draining and the stream's
    // start and end leave nothing to do.
    default:
        return S_OK;
    }
}

STDMETHODIMP UprightTransform::ProcessInput(DWORD stream, IMFSample* sample, DWORD) {
    if (!sample) return E_POINTER;
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    const std::lock_guard<std::mutex> hold(lock_);
    if (!inputType_ || !outputType_) return MF_E_TRANSFORM_TYPE_NOT_SET;
    if (pending_) return MF_E_NOTACCEPTING;
    pending_ = sample;
    return S_OK;
}

STDMETHODIMP UprightTransform::ProcessOutput(DWORD, DWORD count, MFT_OUTPUT_DATA_BUFFER* samples, DWORD* status) {
    if (!samples || !status) return E_POINTER;
    if (count != 1) return E_INVALIDARG;
    *status = 0;
    samples[0].dwStatus = 0;
    const std::lock_guard<std::mutex> hold(lock_);
    if (!inputType_ || !outputType_) return MF_E_TRANSFORM_TYPE_NOT_SET;
    if (!pending_) return MF_E_TRANSFORM_NEED_MORE_INPUT;
    if (!samples[0].pSample) return E_INVALIDARG;
    // The frame goes whether it could be turned or not: a frame that cannot be read now never can.
    const ComPtr<IMFSample> input = std::move(pending_);
    IMFSample* output = samples[0].pSample;
    HRESULT hr = Convert(input.Get(), output);
    if (FAILED(hr)) return hr;
    hr = input->CopyAllItems(output);
    if (FAILED(hr)) return hr;
    LONGLONG time = 0;
    if (SUCCEEDED(input->GetSampleTime(&time))) output->SetSampleTime(time);
    if (SUCCEEDED(input->GetSampleDuration(&time))) output->SetSampleDuration(time);
    DWORD sampleFlags = 0;
    if (SUCCEEDED(input->GetSampleFlags(&sampleFlags))) output->SetSampleFlags(sampleFlags);
    return S_OK;
}

HRESULT UprightTransform::Convert(IMFSample* input, IMFSample* output) {
    ComPtr<IMFMediaBuffer> from;
    HRESULT hr = input->ConvertToContiguousBuffer(&from);
    if (FAILED(hr)) return hr;
    ComPtr<IMFMediaBuffer> to;
    hr = output->GetBufferByIndex(0, &to);
    if (FAILED(hr)) return hr;

    LockedPicture source;
    hr = source.Lock(from.Get(), input_.stride, ContiguousNv12Size(input_.stride, input_.frameHeight), false);
    if (FAILED(hr)) return hr;
    const size_t outputBytes = ContiguousNv12Size(outputStride_, output_.height);
    LockedPicture target;
    hr = target.Lock(to.Get(), outputStride_, outputBytes, true);
    if (FAILED(hr)) return hr;

    const Nv12View frame = ContiguousNv12(source.data, source.Pitch(), input_.shown.width, input_.shown.height,
                                          input_.frameHeight);
    Nv12View shown = frame;
    shown.luma += static_cast<ptrdiff_t>(input_.top) * frame.lumaStride + input_.left;
    shown.chroma += static_cast<ptrdiff_t>(input_.top / 2) * frame.chromaStride + input_.left;
    const Nv12View upright =
        ContiguousNv12(target.data, target.Pitch(), output_.width, output_.height, output_.height);

    if (geometry_.SquarePixels()) {
        TurnNv12(shown, upright, geometry_.rotationClockwise);
    } else if (geometry_.rotationClockwise == 0) {
        StretchNv12(shown, upright);
    } else {
        PictureGeometry unturned = geometry_;
        unturned.rotationClockwise = 0;
        const PictureSize size = DisplayedSize(input_.shown, unturned);
        const ptrdiff_t stride = EvenUp(size.width);
        stretched_.resize(ContiguousNv12Size(stride, size.height));
        const Nv12View between = ContiguousNv12(stretched_.data(), stride, size.width, size.height, size.height);
        StretchNv12(shown, between);
        TurnNv12(between, upright, geometry_.rotationClockwise);
    }
    if (target.Contiguous()) return to->SetCurrentLength(static_cast<DWORD>(outputBytes));
    return S_OK;
}
