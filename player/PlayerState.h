#pragma once

#include <cstdint>

// Where a player's session stands; requests move it to a pending state, session events
// complete the move.
enum class PlayerState : int32_t {
    Closed = 0,
    Ready = 1,
    OpenPending = 2,
    StartPending = 3,
    Started = 4,
    PausePending = 5,
    Paused = 6,
    StopPending = 7,
    Stopped = 8,
    Closing = 9,
};
