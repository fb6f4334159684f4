#include "player/PictureGeometry.h"
#include "player/UprightTransform.h"

#include "MediaTypes.h"

#include <gtest/gtest.h>

#include <mfapi.h>
#include <mferror.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdint>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

TEST(PictureGeometry, DisplayedSizeIsTurnedWithThePixelsShapeOnTheWidth) {
    const struct {
        PictureSize stored;
        PictureGeometry geometry;
        PictureSize shown;
    } cases[] = {
        {{320, 240}, {90, 1, 1}, {240, 320}},   {{320, 240}, {180, 1, 1}, {320, 240}},
        {{480, 360}, {0, 4, 3}, {640, 360}},    {{480, 360}, {270, 4, 3}, {360, 640}},
        {{720, 576}, {0, 16, 15}, {768, 576}},  {{128, 96}, {0, 21, 16}, {168, 96}},
        {{720, 480}, {0, 8, 9}, {640, 480}},    {{1, 1}, {0, 1, 4}, {2, 1}},
    };
    for (const auto& c : cases) {
        const PictureSize shown = DisplayedSize(c.stored, c.geometry);
        EXPECT_EQ(shown.width, c.shown.width) << c.stored.width << "x" << c.stored.height;
        EXPECT_EQ(shown.height, c.shown.height) << c.stored.width << "x" << c.stored.height;
    }
}

TEST(PictureGeometry, PlatformFactsComeFirstAndOddOnesCountForNothing) {
    const auto file = [](int rotation, uint32_t x, uint32_t y) {
        VideoTrackFacts facts;
        facts.found = true;
        facts.rotationClockwise = rotation;
        facts.pixelAspectX = x;
        facts.pixelAspectY = y;
        return facts;
    };
    const struct {
        const char* name;
        uint32_t rotation, aspectX, aspectY;
        VideoTrackFacts file;
        PictureGeometry chosen;
    } cases[] = {
        {"platform turn wins", 90, 0, 0, file(270, 0, 0), {90, 1, 1}},
        {"platform 0 leaves it to the file", 0, 0, 0, file(270, 0, 0), {270, 1, 1}},
        {"no quarter turn", 45, 0, 0, file(100, 0, 0), {0, 1, 1}},
        {"platform pixels win", 0, 1, 1, file(0, 4, 3), {0, 1, 1}},
        {"file pixels when the platform is silent", 0, 0, 0, file(0, 4, 3), {0, 4, 3}},
        {"absurd pixels", 0, 100, 1, file(0, 0, 7), {0, 1, 1}},
        {"nothing found", 0, 0, 0, VideoTrackFacts{}, {0, 1, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const PictureGeometry chosen = ChoosePictureGeometry(c.rotation, c.aspectX, c.aspectY, c.file);
        EXPECT_EQ(chosen.rotationClockwise, c.chosen.rotationClockwise);
        EXPECT_EQ(chosen.pixelAspectX * c.chosen.pixelAspectY, chosen.pixelAspectY * c.chosen.pixelAspectX);
    }
}

// An NV12 picture in memory, with a distinct value in every luma byte and colour pair.
struct Nv12Picture {
    uint32_t width;
    uint32_t height;
    uint32_t stride;
    std::vector<uint8_t> bytes;

    uint32_t ChromaWidth() const { return (width + 1) / 2; }
    uint32_t ChromaHeight() const { return (height + 1) / 2; }
    uint32_t LumaRows() const { return height + (height & 1); }
    uint8_t& Luma(uint32_t x, uint32_t y) { return bytes[y * stride + x]; }
    uint8_t Luma(uint32_t x, uint32_t y) const { return bytes[y * stride + x]; }
    uint8_t* Pair(uint32_t x, uint32_t y) { return &bytes[(LumaRows() + y) * stride + 2 * x]; }
    const uint8_t* Pair(uint32_t x, uint32_t y) const { return &bytes[(LumaRows() + y) * stride + 2 * x]; }

    static Nv12Picture Made(uint32_t width, uint32_t height, uint32_t stride) {
        Nv12Picture picture{width, height, stride, {}};
        picture.bytes.assign(stride * (picture.LumaRows() + picture.LumaRows() / 2), 0);
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x) picture.Luma(x, y) = static_cast<uint8_t>(1 + x + width * y);
        for (uint32_t y = 0; y < picture.ChromaHeight(); ++y) {
            for (uint32_t x = 0; x < picture.ChromaWidth(); ++x) {
                picture.Pair(x, y)[0] = static_cast<uint8_t>(x + picture.ChromaWidth() * y);
                picture.Pair(x, y)[1] = static_cast<uint8_t>(255 - x - picture.ChromaWidth() * y);
            }
        }
        return picture;
    }

    // Turned a quarter clockwise: the left column becomes the top row.
    Nv12Picture Quarter() const {
        Nv12Picture turned{height, width, height + (height & 1), {}};
        turned.bytes.assign(turned.stride * (turned.LumaRows() + turned.LumaRows() / 2), 0);
        for (uint32_t y = 0; y < turned.height; ++y)
            for (uint32_t x = 0; x < turned.width; ++x) turned.Luma(x, y) = Luma(y, height - 1 - x);
        for (uint32_t y = 0; y < turned.ChromaHeight(); ++y) {
            for (uint32_t x = 0; x < turned.ChromaWidth(); ++x) {
                turned.Pair(x, y)[0] = Pair(y, ChromaHeight() - 1 - x)[0];
                turned.Pair(x, y)[1] = Pair(y, ChromaHeight() - 1 - x)[1];
            }
        }
        return turned;
    }
};

ComPtr<IMFMediaType> Nv12Type(uint32_t width, uint32_t height, uint32_t stride) {
    ComPtr<IMFMediaType> type = VideoType(MFVideoFormat_NV12, false);
    MFSetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, width, height);
    type->SetUINT32(MF_MT_DEFAULT_STRIDE, stride);
    return type;
}

ComPtr<IMFSample> SampleOf(const std::vector<uint8_t>& bytes, DWORD capacity) {
    ComPtr<IMFMediaBuffer> buffer;
    ComPtr<IMFSample> sample;
    EXPECT_HRESULT_SUCCEEDED(MFCreateMemoryBuffer(capacity, &buffer));
    EXPECT_HRESULT_SUCCEEDED(MFCreateSample(&sample));
    BYTE* data = nullptr;
    if (!buffer || !sample || FAILED(buffer->Lock(&data, nullptr, nullptr))) return nullptr;
    std::fill(data, data + capacity, 0);
    std::copy(bytes.begin(), bytes.end(), data);
    buffer->Unlock();
    buffer->SetCurrentLength(static_cast<DWORD>(bytes.size()));
    sample->AddBuffer(buffer.Get());
    return sample;
}

std::vector<uint8_t> BytesOf(IMFSample* sample) {
    ComPtr<IMFMediaBuffer> buffer;
    BYTE* data = nullptr;
    DWORD length = 0;
    if (FAILED(sample->ConvertToContiguousBuffer(&buffer)) || FAILED(buffer->Lock(&data, nullptr, &length))) return {};
    std::vector<uint8_t> bytes(data, data + length);
    buffer->Unlock();
    return bytes;
}

// Puts a frame through and gives what came out, in an output sample of the size it asks for.
ComPtr<IMFSample> PassThrough(IMFTransform* transform, IMFSample* frame) {
    MFT_OUTPUT_STREAM_INFO info{};
    EXPECT_HRESULT_SUCCEEDED(transform->GetOutputStreamInfo(0, &info));
    EXPECT_HRESULT_SUCCEEDED(transform->ProcessInput(0, frame, 0));
    MFT_OUTPUT_DATA_BUFFER output{};
    output.pSample = SampleOf({}, info.cbSize).Detach();
    DWORD status = 99;
    const HRESULT hr = transform->ProcessOutput(0, 1, &output, &status);
    ComPtr<IMFSample> made;
    made.Attach(output.pSample);
    EXPECT_HRESULT_SUCCEEDED(hr);
    return SUCCEEDED(hr) ? made : nullptr;
}

// Big enough for the whole blocks that are turned at once, odd for the edges that are not.
TEST(UprightTransform, TurnsOddSizedFramesOfAnyStride) {
    for (const int clockwise : {90, 180, 270}) {
        SCOPED_TRACE(clockwise);
        ComPtr<IMFTransform> transform;
        ASSERT_HRESULT_SUCCEEDED(UprightTransform::Create({clockwise, 1, 1}, &transform));
        const Nv12Picture input = Nv12Picture::Made(17, 11, 24);
        ASSERT_HRESULT_SUCCEEDED(transform->SetInputType(0, Nv12Type(17, 11, 24).Get(), 0));
        ComPtr<IMFMediaType> output;
        ASSERT_HRESULT_SUCCEEDED(transform->GetOutputCurrentType(0, &output));
        UINT32 width = 0;
        UINT32 height = 0;
        MFGetAttributeSize(output.Get(), MF_MT_FRAME_SIZE, &width, &height);
        EXPECT_EQ(width, clockwise == 180 ? 17u : 11u);
        EXPECT_EQ(height, clockwise == 180 ? 11u : 17u);

        Nv12Picture expected = input.Quarter();
        for (int turn = 90; turn < clockwise; turn += 90) expected = expected.Quarter();
        const ComPtr<IMFSample> made =
            PassThrough(transform.Get(), SampleOf(input.bytes, static_cast<DWORD>(input.bytes.size())).Get());
        ASSERT_TRUE(made);
        EXPECT_EQ(BytesOf(made.Get()), expected.bytes);
    }
}

TEST(UprightTransform, ShowsOnlyTheApertureAndStretchesWidePixels) {
    // An 8x6 frame whose picture is the 4x2 at (2, 2), of pixels 4:3 wide, turned a quarter.
    ComPtr<IMFTransform> transform;
    ASSERT_HRESULT_SUCCEEDED(UprightTransform::Create({90, 4, 3}, &transform));
    const ComPtr<IMFMediaType> type = Nv12Type(8, 6, 8);
    MFVideoArea aperture{};
    aperture.OffsetX.value = 2;
    aperture.OffsetY.value = 2;
    aperture.Area = {4, 2};
    type->SetBlob(MF_MT_MINIMUM_DISPLAY_APERTURE, reinterpret_cast<const UINT8*>(&aperture), sizeof(aperture));
    ASSERT_HRESULT_SUCCEEDED(transform->SetInputType(0, type.Get(), 0));
    ComPtr<IMFMediaType> output;
    ASSERT_HRESULT_SUCCEEDED(transform->GetOutputCurrentType(0, &output));
    UINT32 width = 0;
    UINT32 height = 0;
    MFGetAttributeSize(output.Get(), MF_MT_FRAME_SIZE, &width, &height);
    EXPECT_EQ(width, 2u);
    EXPECT_EQ(height, 6u);
    UINT32 x = 0;
    UINT32 y = 0;
    MFGetAttributeRatio(output.Get(), MF_MT_PIXEL_ASPECT_RATIO, &x, &y);
    EXPECT_EQ(x, y);

    // Rows of the aperture rising 1 a pixel; the frame around it all 0.
    std::vector<uint8_t> bytes(8 * 9, 0);
    for (int row = 2; row < 4; ++row)
        for (int column = 2; column < 6; ++column) bytes[row * 8 + column] = static_cast<uint8_t>(100 + column);
    const ComPtr<IMFSample> made = PassThrough(transform.Get(), SampleOf(bytes, 8 * 9).Get());
    ASSERT_TRUE(made);
    const std::vector<uint8_t> shown = BytesOf(made.Get());
    ASSERT_GE(shown.size(), 12u);
    // Down each column of the turned picture the stretched row, from 102 to 105 without a dip.
    for (int column = 0; column < 2; ++column) {
        EXPECT_EQ(shown[column], 102);
        EXPECT_EQ(shown[5 * 2 + column], 105);
        for (int row = 1; row < 6; ++row) EXPECT_GE(shown[row * 2 + column], shown[(row - 1) * 2 + column]);
    }
}

TEST(UprightTransform, HoldsOneFrameUntilAskedAndLetsItGoOnFlush) {
    ComPtr<IMFTransform> transform;
    ASSERT_HRESULT_SUCCEEDED(UprightTransform::Create({270, 1, 1}, &transform));
    ComPtr<IMFMediaType> output;
    EXPECT_EQ(transform->GetOutputAvailableType(0, 0, &output), MF_E_TRANSFORM_TYPE_NOT_SET);
    EXPECT_HRESULT_FAILED(transform->SetInputType(0, VideoType(MFVideoFormat_I420, false).Get(), 0));
    ASSERT_HRESULT_SUCCEEDED(transform->SetInputType(0, Nv12Type(4, 2, 4).Get(), 0));

    const Nv12Picture picture = Nv12Picture::Made(4, 2, 4);
    const ComPtr<IMFSample> frame = SampleOf(picture.bytes, 12);
    frame->SetSampleTime(400000);
    frame->SetSampleDuration(400000);
    MFT_OUTPUT_DATA_BUFFER none{};
    none.pSample = SampleOf({}, 12).Detach();
    DWORD status = 0;
    EXPECT_EQ(transform->ProcessOutput(0, 1, &none, &status), MF_E_TRANSFORM_NEED_MORE_INPUT);
    ASSERT_HRESULT_SUCCEEDED(transform->ProcessInput(0, frame.Get(), 0));
    EXPECT_EQ(transform->ProcessInput(0, frame.Get(), 0), MF_E_NOTACCEPTING);
    EXPECT_EQ(transform->SetInputType(0, Nv12Type(6, 2, 6).Get(), 0),
              MF_E_TRANSFORM_CANNOT_CHANGE_MEDIATYPE_WHILE_PROCESSING);
    ASSERT_HRESULT_SUCCEEDED(transform->ProcessMessage(MFT_MESSAGE_COMMAND_FLUSH, 0));
    EXPECT_EQ(transform->ProcessOutput(0, 1, &none, &status), MF_E_TRANSFORM_NEED_MORE_INPUT);
    none.pSample->Release();

    const ComPtr<IMFSample> made = PassThrough(transform.Get(), frame.Get());
    ASSERT_TRUE(made);
    LONGLONG time = 0;
    EXPECT_HRESULT_SUCCEEDED(made->GetSampleTime(&time));
    EXPECT_EQ(time, 400000);

    // A new size leaves the output to be chosen again, at the new shape.
    ASSERT_HRESULT_SUCCEEDED(transform->SetInputType(0, Nv12Type(6, 2, 6).Get(), 0));
    EXPECT_EQ(transform->GetOutputCurrentType(0, &output), MF_E_TRANSFORM_TYPE_NOT_SET);
    ASSERT_HRESULT_SUCCEEDED(transform->GetOutputAvailableType(0, 0, &output));
    UINT32 width = 0;
    UINT32 height = 0;
    MFGetAttributeSize(output.Get(), MF_MT_FRAME_SIZE, &width, &height);
    EXPECT_EQ(width, 2u);
    EXPECT_EQ(height, 6u);
    ASSERT_HRESULT_SUCCEEDED(transform->SetOutputType(0, output.Get(), 0));
    EXPECT_TRUE(PassThrough(transform.Get(), SampleOf(Nv12Picture::Made(6, 2, 6).bytes, 18).Get()));
}

}  // namespace
