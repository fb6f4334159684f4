#include "viewer/ExtViewMF.h"

#include "errors/ErrorBox.h"
#include "panel/UIPanel.h"
#include "player/CPlayer.h"
#include "player/QueuedWork.h"
#include "player/VideoDecoders.h"
#include "viewer/SharedFileStream.h"

#include <mfapi.h>
#include <mferror.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <cstdlib>
#include <cwchar>
#include <new>
#include <string>

using Microsoft::WRL::ComPtr;

void PlayerRelease::operator()(CPlayer* player) const { player->Release(); }

namespace {

struct FreeText {
    void operator()(wchar_t* text) const { free(text); }
};

// Resolves a path into a media source on a thread of its own, so that open can stop waiting
// for it: a damaged file has held Wine 10's resolver for seconds or for good (kept on Windows;
// test: the stress_corpus_sample run of damaged files). The thread ends with the resolve, where
// one of the platform's shared queues would keep its threads for the rest of the process. It
// owns all that the work needs: work that ends after open has given up lands here and harms
// nobody.
// The source reads the file through a handle of the viewer's own that shares it for reading,
// writing and deletion: the user can delete, rename, move or re-save the file while it is
// shown. A path that cannot be opened so goes to the resolver as it stands, which gives the
// status the platform gives for it (or opens what is not a file). Through the same handle, the
// work first reads what the file's structure says of it.
class ResolveWork final : public QueuedWork {
public:
    ResolveWork(IMFSourceResolver* resolver, const wchar_t* path) : resolver_(resolver), path_(_wcsdup(path)) {}

    bool Ready() const { return path_ != nullptr; }

    enum class Refusal { None, EndsBeforeFirstSample, SourceRefused, NoDecoder };

    // Valid once RunOnOwnThread has succeeded.
    HRESULT status = E_FAIL;
    ComPtr<IUnknown> object;
    MovieFacts facts;
    Refusal refusal = Refusal::None;
    // The platform's subtype of the video that no decoder takes, when it told one.
    GUID undecodable = GUID_NULL;

private:
    void Run() override { status = Resolve(); }

    HRESULT Resolve() {
        MF_OBJECT_TYPE type = MF_OBJECT_INVALID;
        ComPtr<IStream> stream;
        const ByteSource* fileBytes = nullptr;
        if (FAILED(OpenSharedFileStream(path_.get(), &stream, &fileBytes))) {
            return resolver_->CreateObjectFromURL(path_.get(), MF_RESOLUTION_MEDIASOURCE, nullptr, &type, &object);
        }
        facts = ReadMovieFacts(*fileBytes);
        // No picture can be shown, and a source given such a file was seen to stall until open
        // gave up.
        if (facts.endsBeforeFirstSample) {
            refusal = Refusal::EndsBeforeFirstSample;
            return HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
        }
        ComPtr<IMFByteStream> bytes;
        HRESULT hr = MFCreateMFByteStreamOnStream(stream.Get(), &bytes);
        if (FAILED(hr)) return hr;
        hr = resolver_->CreateObjectFromByteStream(bytes.Get(), path_.get(), MF_RESOLUTION_MEDIASOURCE, nullptr,
                                                   &type, &object);
        if (FAILED(hr)) {
            // A source that decodes by itself (Wine's) refuses here a video it cannot decode, as
            // well as a damaged file; a failure to read the file is neither.
            if (HRESULT_FACILITY(hr) != FACILITY_WIN32) refusal = Refusal::SourceRefused;
            return hr;
        }
        return CheckDecoders();
    }

    // A source that leaves decoding to a decoder (Windows') opens a video that no decoder takes,
    // which would fail only in attach: it is refused here, where the user is told. Wine's source
    // offers its video decoded already, so under Wine this finds nothing to refuse.
    HRESULT CheckDecoders() {
        ComPtr<IMFMediaSource> source;
        ComPtr<IMFPresentationDescriptor> descriptor;
        if (FAILED(object.As(&source)) || FAILED(source->CreatePresentationDescriptor(&descriptor))) return S_OK;
        const HRESULT hr = CheckVideoDecoders(descriptor.Get(), &undecodable);
        if (hr != MF_E_TOPO_CODEC_NOT_FOUND) return S_OK;
        refusal = Refusal::NoDecoder;
        source->Shutdown();
        object.Reset();
        return hr;
    }

    ComPtr<IMFSourceResolver> resolver_;
    std::unique_ptr<wchar_t, FreeText> path_;
};

std::wstring CannotDecode(const std::wstring& format) {
    if (format.empty()) return {};
    return L"The video is " + format + L", which this system cannot decode.";
}

// The line the box adds to the status's text: why open refused, where more is known than the
// status says.
std::wstring WhyRefused(const ResolveWork& work) {
    const VideoTrackFacts& video = work.facts.video;
    switch (work.refusal) {
    case ResolveWork::Refusal::EndsBeforeFirstSample:
        return L"The file ends before its first picture; it may still be downloading.";
    case ResolveWork::Refusal::SourceRefused:
        // Blamed on the video only where the file looks whole and its format is one that some
        // systems lack.
        if (!work.facts.tracksWhole || EverySystemDecodes(video)) return {};
        return CannotDecode(DescribeVideoFormat(video));
    case ResolveWork::Refusal::NoDecoder: {
        const std::wstring format = DescribeVideoFormat(video);
        return CannotDecode(format.empty() ? DescribeVideoSubtype(work.undecodable) : format);
    }
    case ResolveWork::Refusal::None:
        break;
    }
    return {};
}

}  // namespace

ExtViewMF::ExtViewMF() = default;

ExtViewMF::~ExtViewMF() { Reset(); }

INT_PTR ExtViewMF::Open(const wchar_t* path) {
    Reset();
    std::wstring why;
    const HRESULT hr = OpenSteps(path, why);
    if (SUCCEEDED(hr)) return 0;
    ShowErrorBox(hr, path, why.c_str());
    return -1;
}

HRESULT ExtViewMF::OpenSteps(const wchar_t* path, std::wstring& why) {
    CPlayer* created = nullptr;
    HRESULT hr = CPlayer::Create(&created);
    if (FAILED(hr)) return hr;
    // From here on the viewer keeps the player, whatever fails later.
    player.reset(created);
    hr = player->OpenSession();
    if (FAILED(hr)) return hr;
    hr = ResolveSource(path, why);
    if (FAILED(hr)) return hr;
    return CopyPath(path);
}

// A source can stall for good on a damaged file while it reads the file's structure, so the
// resolver's call is made elsewhere and waited for at most openWaitLimitMs.
HRESULT ExtViewMF::ResolveSource(const wchar_t* path, std::wstring& why) {
    ComPtr<IMFSourceResolver> resolver;
    HRESULT hr = MFCreateSourceResolver(&resolver);
    if (FAILED(hr)) return hr;
    ComPtr<ResolveWork> work;
    work.Attach(new (std::nothrow) ResolveWork(resolver.Get(), path));
    if (!work || !work->Ready()) return E_OUTOFMEMORY;
    hr = work->RunOnOwnThread(openWaitLimitMs);
    if (FAILED(hr)) return hr;
    movieFacts = work->facts;
    if (FAILED(work->status)) {
        why = WhyRefused(*work.Get());
        return work->status;
    }
    return player->TakeSource(work->object.Get());
}

HRESULT ExtViewMF::CopyPath(const wchar_t* path) {
    const size_t length = wcslen(path) + 1;
    std::unique_ptr<wchar_t[]> copy(new (std::nothrow) wchar_t[length]);
    if (!copy) return E_OUTOFMEMORY;
    wmemcpy(copy.get(), path, length);
    filePath = std::move(copy);
    return S_OK;
}

void ExtViewMF::Reset() {
    if (player) {
        player->Close();
        player.reset();
    }
    filePath.reset();
    fileIcon.reset();
    if (menuTracking) {
        // The menu is tracked further up this thread's stack: end it, and leave it to the
        // tracking call to destroy once the menu's loop has let go of it.
        EndMenu();
        menuTracking->MarkTornDown();
        menuTracking = nullptr;
        popupMenu.release();
    }
    popupMenu.reset();
    if (panel) {
        KillTimer(hostWindow, REFRESH_TIMER_ID);
        panel.reset();
    }
    movieFacts = {};
    imageWidth = 0;
    imageHeight = 0;
    bitsPerPixel = 0;
    hostWindow = nullptr;
    seekScaleDuration = 0;
    resumeAfterDrag = false;
}
