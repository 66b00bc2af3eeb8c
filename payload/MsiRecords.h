#pragma once
// The installer service's field records ("1: v 2: v 3: v 4: v ") and the
// tick arithmetic of its progress records. Pure functions, any thread.

// False for an invalid record; fields[0] is the type, the others as many as
// the type carries (unset ones stay as they were).
bool ParseProgressRecord(const wchar_t* text, int fields[4]);
// Common-data records: field 1 one digit, field 2 an integer.
bool ParseCommonDataRecord(const wchar_t* text, int fields[2]);

// ticksDone after a progress report whose field 2 is increment (multiplied by
// ticksPerStep when step ticks are enabled), by its absolute value. The sum
// saturates at the largest int instead of overflowing.
int AddProgressTicks(int ticksDone, int increment, bool stepTicksEnabled, int ticksPerStep);
