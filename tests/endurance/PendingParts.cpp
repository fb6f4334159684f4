#include "Parts.h"

#include "EntryPoints.h"
#include "Ledger.h"
#include "Report.h"

#include "host/support/MessagePump.h"
#include "panel/UIPanel.h"

#include <atomic>
#include <cwchar>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>

namespace {

constexpr int PENDING_ROUNDS = 3;
// How long a menu or box may stay open after its viewer has been torn down.
constexpr ULONGLONG CLOSE_AFTER_TEARDOWN_MS = 3000;
constexpr wchar_t MENU_CLASS[] = L"#32768";
constexpr wchar_t DIALOG_CLASS[] = L"#32770";

struct WindowSearch {
    const wchar_t* className;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<WindowSearch*>(data);
    wchar_t text[64] = {};
    GetClassNameW(window, text, 64);
    if (std::wcscmp(text, search->className) != 0 || !IsWindowVisible(window)) return TRUE;
    GetWindowTextW(window, text, 64);
    if (search->caption && std::wcscmp(text, search->caption) != 0) return TRUE;
    search->found = window;
    return FALSE;
}

// A visible top-level window of this thread with the given class (and caption, when given).
HWND ThreadWindow(const wchar_t* className, const wchar_t* caption = nullptr) {
    WindowSearch search{className, caption, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

enum class Teardown { Destroy, Reopen };

const char* TeardownName(Teardown how) { return how == Teardown::Destroy ? "destroy" : "re-open"; }

// What each situation's teardown found: the player's state, and what became of a box.
std::map<std::string, std::map<std::string, int>> seen;

void Note(const char* situation, Teardown how, const std::string& what) {
    ++seen[std::string(situation) + ", " + TeardownName(how)][what];
}

// Destroys the viewer, or opens the sample again in it: a re-opened viewer must attach and
// play as a new one does, and is then destroyed.
void TearDown(std::unique_ptr<Viewer>& viewer, Teardown how, const char* situation) {
    Note(situation, how, StateName(viewer->State()));
    if (how == Teardown::Destroy) {
        viewer->Destroy();
        return;
    }
    Check(viewer->Open(samplePath), "%s: re-open failed", situation);
}

void FinishReopened(std::unique_ptr<Viewer>& viewer, Teardown how, const char* situation) {
    if (how == Teardown::Reopen) {
        const bool attached = viewer->Attach();
        Check(attached, "%s: attach after the re-open failed", situation);
        Check(!attached || PumpUntil([&] { return viewer->ReportsPosition(); }, PLAYING_WAIT_MS),
              "%s: the re-opened sample did not play", situation);
    }
    viewer.reset();
}

// Attach waits on the session and lets messages that other threads send through. A second
// thread sends to the host frame throughout B's attach; the first time the frame hears from it
// while B is OpenPending, the host tears down A, which plays in another pane.
void AtOpenPending(Host& host, Teardown how) {
    const char* situation = "OpenPending (another viewer's attach)";
    auto a = std::make_unique<Viewer>(host.pane(0));
    auto b = std::make_unique<Viewer>(host.pane(1));
    if (!StartPlaying(*a) || !b->Open(samplePath)) return;

    int sightings = 0;
    host.onProbe = [&] {
        if (b->State() != PlayerState::OpenPending) return;
        if (sightings++ > 0) return;
        Note(situation, how, "attaching viewer OpenPending");
        TearDown(a, how, situation);
    };
    std::atomic<bool> attaching{true};
    std::thread prober([&] {
        while (attaching) {
            DWORD_PTR ignored = 0;
            SendMessageTimeoutW(host.frame(), WM_PROBE, 0, 0, SMTO_NORMAL, CALL_LIMIT_MS, &ignored);
            Sleep(5);
        }
    });
    const bool attached = b->Attach();
    attaching = false;
    prober.join();
    host.onProbe = nullptr;

    Check(attached, "%s: attach failed", situation);
    b.reset();
    // Rarely the session reports before a probe gets through; the part as a whole must meet it.
    if (sightings == 0) {
        Note(situation, how, "attach over before a probe got through");
        a.reset();
        return;
    }
    FinishReopened(a, how, situation);
}

void AtStartPending(Host& host, Teardown how) {
    const char* situation = "StartPending (right after attach)";
    auto viewer = std::make_unique<Viewer>(host.pane(0));
    Check(viewer->Open(samplePath) && viewer->Attach(), "%s: open or attach failed", situation);
    TearDown(viewer, how, situation);
    FinishReopened(viewer, how, situation);
}

void AfterClick(Host& host, Teardown how, int buttonId, PlayerState expected, const char* situation) {
    auto viewer = std::make_unique<Viewer>(host.pane(0));
    if (!StartPlaying(*viewer)) return;
    viewer->Click(buttonId);
    // The session's answer reaches the player only through this thread's messages.
    Check(viewer->State() == expected, "%s: the click left %s", situation, StateName(viewer->State()));
    TearDown(viewer, how, situation);
    FinishReopened(viewer, how, situation);
}

// Opens the context menu with a right click and runs the script's steps from the host's timer,
// which the menu's modal loop (and a box's) keeps dispatching. Returns when the click returns.
void RightClickWith(Host& host, Viewer& viewer, std::function<bool()> step) {
    host.Every(std::move(step));
    const HWND pane = viewer.pane().window;
    SendMessageW(pane, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(40, 40));
    host.StopScript();
}

void InContextMenu(Host& host, Teardown how) {
    const char* situation = "context menu open";
    auto viewer = std::make_unique<Viewer>(host.pane(0));
    if (!StartPlaying(*viewer)) return;
    const ULONGLONG start = GetTickCount64();
    ULONGLONG tornDownAt = 0;
    bool stayedOpen = false;
    RightClickWith(host, *viewer, [&] {
        const ULONGLONG now = GetTickCount64();
        const HWND menu = ThreadWindow(MENU_CLASS);
        if (!tornDownAt) {
            if (!menu) return now - start > CALL_LIMIT_MS / 2;
            TearDown(viewer, how, situation);
            tornDownAt = GetTickCount64();
            return false;
        }
        if (menu && now - tornDownAt > CLOSE_AFTER_TEARDOWN_MS) {
            stayedOpen = true;
            EndMenu();
        }
        return !menu;
    });
    Check(tornDownAt != 0, "%s: the menu never opened", situation);
    Check(!stayedOpen, "%s: the menu stayed open after the viewer's %s", situation, TeardownName(how));
    Check(!ThreadWindow(MENU_CLASS), "%s: a menu is still open", situation);
    FinishReopened(viewer, how, situation);
}

void InPropertiesBox(Host& host, Teardown how) {
    const char* situation = "properties box open";
    auto viewer = std::make_unique<Viewer>(host.pane(0));
    if (!StartPlaying(*viewer)) return;
    const ULONGLONG start = GetTickCount64();
    bool chosen = false;
    ULONGLONG tornDownAt = 0;
    bool boxStayed = false;
    RightClickWith(host, *viewer, [&] {
        const ULONGLONG now = GetTickCount64();
        if (now - start > 2 * CALL_LIMIT_MS / 3) {
            EndMenu();
            return true;
        }
        if (!chosen) {
            // The last item, Properties: from no selection, up wraps round to it.
            const HWND menu = ThreadWindow(MENU_CLASS);
            if (!menu) return false;
            PostMessageW(menu, WM_KEYDOWN, VK_UP, 0);
            PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
            chosen = true;
            return false;
        }
        const HWND box = ThreadWindow(DIALOG_CLASS, L"Properties");
        if (!tornDownAt) {
            if (!box) return false;
            TearDown(viewer, how, situation);
            tornDownAt = GetTickCount64();
            return false;
        }
        // What the box does once its viewer is gone is shown; then the host's user closes it.
        if (!box) return true;
        if (now - tornDownAt > 300) {
            boxStayed = true;
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        return false;
    });
    Check(tornDownAt != 0, "%s: the properties box never opened", situation);
    Check(!ThreadWindow(DIALOG_CLASS) && !ThreadWindow(MENU_CLASS), "%s: a box or menu is still open", situation);
    if (tornDownAt) Note(situation, how, boxStayed ? "box stayed open" : "box closed with its viewer");
    FinishReopened(viewer, how, situation);
}

void PendingRound(Host& host) {
    for (Teardown how : {Teardown::Destroy, Teardown::Reopen}) {
        AtOpenPending(host, how);
        AtStartPending(host, how);
        AfterClick(host, how, PLAY_BUTTON_ID, PlayerState::PausePending, "PausePending (pause click)");
        AfterClick(host, how, STOP_BUTTON_ID, PlayerState::StopPending, "StopPending (stop click)");
        InContextMenu(host, how);
        InPropertiesBox(host, how);
    }
}

}  // namespace

void RunPending() {
    Say("pending: destroy and re-open in every pending state, with the menu and the properties box open");
    Host host(2, 1, 480, 360);
    Ledger ledger("pending", mediaFolder);
    for (int round = 1; round <= PENDING_ROUNDS; ++round) {
        const ULONGLONG start = GetTickCount64();
        const Figures figures = ledger.Round([&] { PendingRound(host); }, DirectRound{1, 1, 480, 360});
        Say("  round %d in %.1f s, direct sessions and measuring included", round,
            static_cast<double>(GetTickCount64() - start) / 1000.0);
        PrintFigures(("after round " + std::to_string(round)).c_str(), figures);
    }
    int openPendingMet = 0;
    for (const auto& [situation, states] : seen) {
        std::string text;
        for (const auto& [state, count] : states) {
            text += " " + state + " x" + std::to_string(count);
            if (state == "attaching viewer OpenPending") openPendingMet += count;
        }
        Say("  %-48s%s", situation.c_str(), text.c_str());
    }
    Check(openPendingMet > 0, "pending: the probes never met an attach while OpenPending");
    ledger.Check();
}
