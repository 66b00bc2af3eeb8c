#include "payload/MsiRecords.h"

#include <climits>
#include <cwchar>

namespace {
// Parses "N: value " fields; lastField(type) tells the last field the type carries.
bool ParseFields(const wchar_t* text, int fields[], int maxFields, int (*lastField)(int type)) {
    if (!text || !*text) return false;
    const wchar_t* p = text;
    int last = maxFields;
    bool hasType = false;
    for (int expected = 1; expected <= last && *p; ++expected) {
        while (*p == L' ') ++p;
        if (!*p) break;
        if (*p < L'1' || *p > L'4' || p[1] != L':') return false;
        int number = *p - L'0';
        if (number > maxFields) return false;
        p += 2;
        while (*p == L' ') ++p;
        if (number == 1) {
            if (*p < L'0' || *p > L'9' || (p[1] != L' ' && p[1] != L'\0')) return false;
            fields[0] = *p - L'0';
            hasType = true;
            ++p;
            last = lastField(fields[0]);
        } else {
            wchar_t* end = nullptr;
            long value = std::wcstol(p, &end, 10);
            if (end == p) return false;
            // Out-of-range numbers are held at the ends of int.
            fields[number - 1] = value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
            p = end;
        }
    }
    // Without field 1 the record has no type and is ignored.
    return hasType;
}

int ProgressLastField(int type) { return type == 2 || type == 3 ? 2 : type == 1 ? 3 : 4; }
int CommonDataLastField(int) { return 2; }
}  // namespace

bool ParseProgressRecord(const wchar_t* text, int fields[4]) { return ParseFields(text, fields, 4, ProgressLastField); }

bool ParseCommonDataRecord(const wchar_t* text, int fields[2]) {
    return ParseFields(text, fields, 2, CommonDataLastField);
}

int AddProgressTicks(int ticksDone, int increment, bool stepTicksEnabled, int ticksPerStep) {
    long long ticks = static_cast<long long>(increment) * (stepTicksEnabled ? ticksPerStep : 1);
    if (ticks < 0) ticks = -ticks;
    long long sum = static_cast<long long>(ticksDone) + ticks;
    return sum > INT_MAX ? INT_MAX : sum < INT_MIN ? INT_MIN : static_cast<int>(sum);
}
