#include "PlayerTestSupport.h"
#include "TestSupport.h"

#include <mfapi.h>

#include <iterator>

using Microsoft::WRL::ComPtr;

std::ostream& operator<<(std::ostream& out, PlayerState state) {
    static const char* const names[] = {"Closed",      "Ready",  "OpenPending", "StartPending", "Started",
                                        "PausePending", "Paused", "StopPending", "Stopped",      "Closing"};
    const auto value = static_cast<size_t>(state);
    if (value < std::size(names)) return out << names[value];
    return out << "PlayerState(" << static_cast<int>(state) << ")";
}

std::string StartAt(LONGLONG position) { return "Start(null, VT_I8 " + std::to_string(position) + ")"; }

std::string StartFromCurrent() { return "Start(GUID_NULL, VT_EMPTY)"; }

std::vector<std::string> Requests(const ComPtr<FakeSession>& session) {
    std::vector<std::string> requests;
    for (const auto& call : session->Calls()) {
        if (call.name != "Start") {
            requests.push_back(call.name);
            continue;
        }
        const std::string format = !call.hasTimeFormat              ? "null"
                                   : call.timeFormat == GUID_NULL ? "GUID_NULL"
                                                                  : "other format";
        const std::string start = call.startType == VT_EMPTY ? "VT_EMPTY"
                                  : call.startType == VT_I8  ? "VT_I8 " + std::to_string(call.startPosition)
                                                             : "VT " + std::to_string(call.startType);
        requests.push_back("Start(" + format + ", " + start + ")");
    }
    return requests;
}

ULONG References(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

HRESULT Deliver(CPlayer* player, MediaEventType type, HRESULT status) {
    return player->HandleEvent(MakeEvent(type, status).Detach());
}

ComPtr<IMFMediaEvent> TopologyStatusEvent(UINT32 status, HRESULT eventStatus) {
    ComPtr<IMFMediaEvent> event = MakeEvent(MESessionTopologyStatus, eventStatus);
    if (event) event->SetUINT32(MF_EVENT_TOPOLOGY_STATUS, status);
    return event;
}

MessageWindow::MessageWindow()
    : window_(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                              nullptr)) {}

MessageWindow::~MessageWindow() {
    MSG message;
    while (TakePlayerEvent(&message)) reinterpret_cast<IMFMediaEvent*>(message.wParam)->Release();
    DestroyWindow(window_);
}

bool MessageWindow::TakePlayerEvent(MSG* message) {
    return PeekMessageW(message, window_, WM_PLAYER_EVENT, WM_PLAYER_EVENT, PM_REMOVE) != FALSE;
}

PlayerRig::PlayerRig() {
    session.Attach(new FakeSession);
    source.Attach(new FakeSource);
    player.Attach(new CPlayer);
    player->CreateEvents();
    player->Adopt(session.Get(), source.Get());
    session->BeginGetEvent(player.Get(), nullptr);
}

PlayerRig::~PlayerRig() {
    // A session whose event loop has ended can no longer report its close: do not wait for it.
    if (!session->Armed() && player->CloseEvent()) SetEvent(player->CloseEvent());
    player->Shutdown();
}

void DeferSeek(CPlayer* player, LONGLONG position) {
    const PlayerState state = player->State();
    player->SetState(PlayerState::StartPending);
    player->SetPosition(position);
    player->SetState(state);
}

bool WaitForTeardown(CPlayer* player, DWORD timeoutMs) {
    return PumpUntil([&] { return player->State() == PlayerState::Closed; }, timeoutMs);
}
