// The installer service's progress and common-data records, as the
// installer UI handler parses them and adds up their ticks.
#include "FuzzTargets.h"

#include <string>

#include "payload/MsiRecords.h"
#ifdef _WIN32
#include "payload/MsiUiHandler.h"
#endif

namespace {
struct Ticks {
    int total = 0;
    int done = 0;
    int perStep = 0;
    bool stepTicks = false;
};
}  // namespace

void FuzzMsiRecords(const uint8_t* data, size_t size) {
    // Records separated by NUL bytes, each widened byte by byte, applied in
    // turn to one tick state as the handler does.
    Ticks ticks;
    std::wstring record;
    for (size_t i = 0; i <= size; ++i) {
        if (i < size && data[i] != 0) {
            record += static_cast<wchar_t>(data[i]);
            continue;
        }
        int fields[4] = {};
        if (ParseProgressRecord(record.c_str(), fields)) {
            if (fields[0] == 0) {
                ticks.total = fields[1];
                ticks.done = 0;
            } else if (fields[0] == 1) {
                ticks.stepTicks = fields[2] != 0;
                if (ticks.stepTicks) ticks.perStep = fields[1];
            } else if (fields[0] == 2 && ticks.total != 0) {
                ticks.done = AddProgressTicks(ticks.done, fields[1], ticks.stepTicks, ticks.perStep);
            }
        }
        int common[2] = {};
        ParseCommonDataRecord(record.c_str(), common);
#ifdef _WIN32
        // The handler itself, without a page: the same record as progress,
        // common data and action data (no type that would show a message box).
        static MsiUiContext context;
        MsiUiHandler(&context, 0x0A000000, record.c_str());
        MsiUiHandler(&context, 0x0B000000, record.c_str());
        MsiUiHandler(&context, 0x09000000, record.c_str());
#endif
        record.clear();
    }
}
