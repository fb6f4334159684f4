#include "Ledger.h"

#include "HostFrame.h"
#include "Report.h"

#include "host/support/Summary.h"

#include <algorithm>

namespace {

// How much more the module's work may add than the direct sessions of the same part (see
// Ledger), after a warm-up that puts one-time costs behind: the platform's first start, the
// codec plug-ins of the first open, the panel's window classes and font. Measured first (Wine
// 10): handles and GDI objects then follow the direct sessions exactly (its audio renderer
// keeps one handle per session, with the module or without it), so the slack only absorbs a
// worker thread of the platform that is still ending. Live heap bytes grow alike too, by about
// 11 KiB per session of the platform's own, and wander by a fraction of a MiB between
// measurements: 1 MiB, plus half of what the direct sessions added, catches a viewer that
// keeps even a small part of itself every cycle over a long run. Private bytes are judged only
// where the platform reports them: Wine gives the resident anonymous memory of the whole
// process instead, in which its native decoders keep tens of MiB per session at first and
// scatter by tens of MiB between rounds; there it is shown, not judged. Where judged, 8 MiB
// plus half of the direct sessions' growth allows for heaps and decoder caches settling.
constexpr long HANDLE_SLACK = 10;
constexpr long GUI_OBJECT_SLACK = 5;
constexpr long long PRIVATE_BYTES_SLACK = 8ll << 20;
constexpr long long HEAP_BYTES_SLACK = 1ll << 20;

}  // namespace

void Growth::Add(const Figures& before, const Figures& after) {
    handles += after.handles - before.handles;
    gdiKnown = gdiKnown && before.gdiObjects >= 0 && after.gdiObjects >= 0;
    userKnown = userKnown && before.userObjects >= 0 && after.userObjects >= 0;
    privateKnown = privateKnown && before.privateReported && after.privateReported;
    gdiObjects += after.gdiObjects - before.gdiObjects;
    userObjects += after.userObjects - before.userObjects;
    windows += after.windows - before.windows;
    privateBytes += after.privateBytes - before.privateBytes;
    heapBytes += after.heapBytes - before.heapBytes;
}

Ledger::Ledger(const char* part, const std::wstring& mediaDir)
    : part_(part), last_(Measure()), side_(mediaDir, part), sideLast_(side_.Started()) {}

Figures Ledger::Round(const std::function<void()>& moduleWork, const DirectRound& direct) {
    const bool counted = rounds_++ > 0;
    const bool directFirst = rounds_ % 2 == 0;
    if (directFirst) PlayDirect(direct, counted);
    const int sessionsBefore = SessionsAttached();
    moduleWork();
    lastModuleSessions_ = SessionsAttached() - sessionsBefore;
    const Figures afterModule = Measure();
    if (counted) {
        module_.Add(last_, afterModule);
        moduleSessions_ += lastModuleSessions_;
    }
    last_ = afterModule;
    if (!directFirst) PlayDirect(direct, counted);
    return last_;
}

void Ledger::PlayDirect(const DirectRound& direct, bool counted) {
    const std::optional<Figures> after = side_.Play(direct, lastModuleSessions_);
    if (counted && after && sideLast_) {
        direct_.Add(*sideLast_, *after);
        directSessions_ += direct.together ? direct.columns * direct.rows : lastModuleSessions_;
    }
    sideLast_ = after;
}

long long Ledger::Scaled(long long directAdded) const {
    return directSessions_ == moduleSessions_ ? directAdded : directAdded * moduleSessions_ / directSessions_;
}

void Ledger::Check() const {
    const auto mib = [](long long bytes) { return static_cast<double>(bytes) / (1 << 20); };
    Say("  %s after warm-up: %d module sessions added handles %+lld, GDI %+lld, windows %+lld, private %+.2f MiB,"
        " heap %+.2f MiB; %d direct sessions added handles %+lld, GDI %+lld, windows %+lld, private %+.2f MiB,"
        " heap %+.2f MiB",
        part_, moduleSessions_, module_.handles, module_.gdiObjects, module_.windows, mib(module_.privateBytes),
        mib(module_.heapBytes), directSessions_, direct_.handles, direct_.gdiObjects, direct_.windows,
        mib(direct_.privateBytes), mib(direct_.heapBytes));
    const std::string ended = side_.Ended();
    PrintSummary({std::string("endurance, ") + part_ + ": sessions counted, module / direct",
                  static_cast<double>(moduleSessions_), static_cast<double>(directSessions_), "-",
                  ended.empty() ? "-" : "direct ended after " + std::to_string(side_.SessionsPlayed()) + ": " + ended});
    Within("windows", module_.windows, 0, 0);
    if (directSessions_ == 0) {
        Say("  %s: no direct sessions were counted; the module's growth is shown, not judged", part_);
        return;
    }
    if (directSessions_ != moduleSessions_) {
        Say("  %s: the module is held to the direct sessions' growth scaled to its %d sessions", part_,
            moduleSessions_);
    }
    Within("handles", module_.handles, Scaled(direct_.handles), HANDLE_SLACK);
    if (module_.gdiKnown) Within("GDI objects", module_.gdiObjects, Scaled(direct_.gdiObjects), GUI_OBJECT_SLACK);
    if (module_.userKnown) Within("USER objects", module_.userObjects, Scaled(direct_.userObjects), GUI_OBJECT_SLACK);
    WithinBytes("live heap bytes", module_.heapBytes, Scaled(direct_.heapBytes), HEAP_BYTES_SLACK);
    if (module_.privateKnown) {
        WithinBytes("private bytes", module_.privateBytes, Scaled(direct_.privateBytes), PRIVATE_BYTES_SLACK);
    }
}

void Ledger::Within(const char* what, long long added, long long directAdded, long long slack) const {
    ::Check(added <= directAdded + slack, "%s: the module's work added %lld %s, the direct sessions %lld", part_, added,
            what, directAdded);
}

void Ledger::WithinBytes(const char* what, long long added, long long directAdded, long long fixedSlack) const {
    const long long slack = fixedSlack + std::max(0ll, directAdded) / 2;
    ::Check(added <= directAdded + slack, "%s: the module's work added %.2f MiB of %s, the direct sessions %.2f MiB",
            part_, static_cast<double>(added) / (1 << 20), what, static_cast<double>(directAdded) / (1 << 20));
}
