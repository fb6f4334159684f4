#pragma once
// What the player and viewer request tests share: a readable log of the session's requests,
// reference counts, events made and handed to a player, a player wired to doubles, and the
// player tests' fixture.

#include "FakeSession.h"
#include "FakeSource.h"

#include "player/CPlayer.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <wrl/client.h>

#include <ostream>
#include <string>
#include <vector>

std::ostream& operator<<(std::ostream& out, PlayerState state);

// The session's requests in order, as "Start(GUID_NULL, VT_EMPTY)", "Start(null, VT_I8 42)",
// "Pause", "Stop", "Close", "Shutdown".
using RequestList = std::vector<std::string>;
RequestList Requests(const Microsoft::WRL::ComPtr<FakeSession>& session);
std::string StartAt(LONGLONG position);
std::string StartFromCurrent();

// The references an object holds, read with an AddRef/Release pair.
ULONG References(IUnknown* object);

// Hands a new event to the player as a posted WM_PLAYER_EVENT would: with its one reference.
HRESULT Deliver(CPlayer* player, MediaEventType type, HRESULT status = S_OK);
Microsoft::WRL::ComPtr<IMFMediaEvent> TopologyStatusEvent(UINT32 status, HRESULT eventStatus = S_OK);

// Leaves position waiting on player, as a seek asked for while a start is pending does; the
// player's state is kept.
void DeferSeek(CPlayer* player, LONGLONG position);

// Pumps this thread's messages until the teardown that destroy leaves to a platform thread has
// ended in Closed.
bool WaitForTeardown(CPlayer* player, DWORD timeoutMs = 10000);

// A window of this thread that only receives posted messages.
class MessageWindow {
public:
    MessageWindow();
    ~MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    HWND get() const { return window_; }
    // Removes the next queued WM_PLAYER_EVENT, if any.
    bool TakePlayerEvent(MSG* message);

private:
    HWND window_ = nullptr;
};

// A player on a session double whose event loop is armed, with a source double and its close
// event, as opening leaves it.
struct PlayerRig {
    PlayerRig();
    ~PlayerRig();
    PlayerRig(const PlayerRig&) = delete;
    PlayerRig& operator=(const PlayerRig&) = delete;

    Microsoft::WRL::ComPtr<FakeSession> session;
    Microsoft::WRL::ComPtr<FakeSource> source;
    Microsoft::WRL::ComPtr<CPlayer> player;
};

// The player tests' fixture: Media Foundation started for the suite.
class PlayerTest : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_HRESULT_SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_FULL)); }
    static void TearDownTestSuite() { MFShutdown(); }
};
