#pragma once
// What a run tells: its own lines, and the checks that failed, each one counted.

#include "player/PlayerState.h"

void Say(const char* format, ...);
void Check(bool held, const char* format, ...);
// The failed checks so far, and failures found another way.
int Failures();
void AddFailures(int count);

const char* StateName(PlayerState state);
