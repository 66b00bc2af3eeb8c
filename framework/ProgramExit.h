#pragma once
// Ending the process at once (ExitProcess skips destructors) without leaving
// state outside the process behind: work registered here, such as removing a
// notification-area icon, runs first. Main thread.

// Registers cleanup to run before an ExitProgram; at most a few, each once.
// Cleanups must not throw.
void AddExitCleanup(void (*cleanup)());

// Runs the registered cleanups in reverse order, then ends the process with exitCode.
[[noreturn]] void ExitProgram(unsigned int exitCode);
