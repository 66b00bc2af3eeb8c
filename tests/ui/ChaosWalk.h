#pragma once
// The chaos walk: a person who clicks anything at any moment, played from a
// seed so that a run can be repeated.
#include <string>

// Starts PROGRAM and, for ACTIONS random actions at random moments, presses
// whatever the wizard shows (buttons, keys, the close box, the about item, the
// notification-area icon, a second instance); then walks it to its end the
// shortest way. Prints what it did and saw, one fact a line (see the .cpp),
// and the end: the exit code and the time from the last action to the end.
// Returns 0 when the wizard ended by itself, 1 when it had to be ended.
int RunChaosWalk(const std::wstring& program, unsigned long long seed, int actions);
