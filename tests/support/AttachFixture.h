#pragma once
// A viewer and the host window it is attached to, with the steps that the attach tests and
// the picture tests share.

#include "FakeSession.h"
#include "TestSupport.h"

#include "player/CPlayer.h"
#include "viewer/ExtViewMF.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <wrl/client.h>

#include <cstdint>
#include <vector>

class AttachTest : public ::testing::Test {
protected:
    void SetUp() override { host.SetViewer(&viewer); }

    void Open(const wchar_t* media) { ASSERT_EQ(viewer.Open(MediaPath(media).c_str()), 0); }

    bool WaitForState(PlayerState state, DWORD timeoutMs = 10000) {
        return PumpUntil([&] { return viewer.player && viewer.player->State() == state; }, timeoutMs);
    }

    int32_t Query(UINT message, int32_t* values) {
        return viewer.HandleMessage(message, reinterpret_cast<WPARAM>(values), 0);
    }

    // A session that accepts the topology and never reports on it, armed with the player as a
    // real session would be. The session that open made is shut down.
    Microsoft::WRL::ComPtr<FakeSession> ReplaceSession() {
        Microsoft::WRL::ComPtr<FakeSession> fake;
        fake.Attach(new FakeSession);
        const Microsoft::WRL::ComPtr<IMFMediaSession> real = viewer.player->Session();
        viewer.player->Adopt(fake.Get(), viewer.player->Source().Get());
        real->Shutdown();
        fake->BeginGetEvent(viewer.player.get(), nullptr);
        return fake;
    }

    // The pane's pixels once the host has drawn source into destination, as a host repaints while
    // its window settles.
    std::vector<DWORD> DrawnPixels(const RECT& source, const RECT& destination, int width, int height) {
        const HDC dc = GetDC(host.pane());
        EXPECT_EQ(viewer.Draw(dc, &source, &destination), 0);
        ReleaseDC(host.pane(), dc);
        PumpMessages(50);
        return CaptureClient(host.pane(), width, height);
    }

    // Declared before the viewer, so that the viewer's teardown still finds its window.
    HostWindow host{320, 240};
    ExtViewMF viewer;
};
