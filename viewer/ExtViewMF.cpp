#include "viewer/ExtViewMF.h"

#include "errors/ErrorBox.h"
#include "panel/UIPanel.h"
#include "player/CPlayer.h"

#include <mfapi.h>
#include <wrl/client.h>

#include <new>

using Microsoft::WRL::ComPtr;

void PlayerRelease::operator()(CPlayer* player) const { player->Release(); }

ExtViewMF::ExtViewMF() = default;

ExtViewMF::~ExtViewMF() { Reset(); }

INT_PTR ExtViewMF::Open(const wchar_t* path) {
    Reset();
    HRESULT hr = CreatePlayer();
    if (SUCCEEDED(hr)) hr = ResolveSource(path);
    if (SUCCEEDED(hr)) hr = CopyPath(path);
    if (SUCCEEDED(hr)) return 0;
    ShowErrorBox(hr, path);
    return -1;
}

HRESULT ExtViewMF::CreatePlayer() {
    std::unique_ptr<CPlayer, PlayerRelease> created(new (std::nothrow) CPlayer);
    if (!created) return E_OUTOFMEMORY;
    HRESULT hr = created->StartPlatform();
    if (FAILED(hr)) return hr;
    hr = created->CreateEvents();
    if (FAILED(hr)) return hr;

    // From here on the viewer keeps the player, whatever fails later.
    player = std::move(created);
    player->SetState(PlayerState::Closed);
    hr = player->CloseSession();
    if (FAILED(hr)) return hr;
    hr = MFCreateMediaSession(nullptr, &player->session);
    if (FAILED(hr)) return hr;
    hr = player->session->BeginGetEvent(player.get(), nullptr);
    if (FAILED(hr)) return hr;
    player->SetState(PlayerState::Ready);
    return S_OK;
}

HRESULT ExtViewMF::ResolveSource(const wchar_t* path) {
    MF_OBJECT_TYPE type = MF_OBJECT_INVALID;
    ComPtr<IMFSourceResolver> resolver;
    ComPtr<IUnknown> object;
    HRESULT hr = MFCreateSourceResolver(&resolver);
    if (FAILED(hr)) return hr;
    hr = resolver->CreateObjectFromURL(path, MF_RESOLUTION_MEDIASOURCE, nullptr, &type, &object);
    if (FAILED(hr)) return hr;
    return object.As(&player->source);
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
        player->Shutdown();
        player.reset();
        DiscardQueuedEvents();
    }
    filePath.reset();
    fileIcon.reset();
    popupMenu.reset();
    if (panel) {
        KillTimer(hostWindow, REFRESH_TIMER_ID);
        panel.reset();
    }
    imageWidth = 0;
    imageHeight = 0;
    bitsPerPixel = 0;
    hostWindow = nullptr;
    seekScaleDuration = 0;
    resumeAfterDrag = 0;
}

// Events the closed session posted before it closed would otherwise reach the next player,
// or nobody, and keep their references.
void ExtViewMF::DiscardQueuedEvents() {
    if (!hostWindow) return;
    MSG message;
    while (PeekMessageW(&message, hostWindow, WM_PLAYER_EVENT, WM_PLAYER_EVENT, PM_REMOVE)) {
        if (message.wParam) reinterpret_cast<IMFMediaEvent*>(message.wParam)->Release();
    }
}
