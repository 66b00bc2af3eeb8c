#include "payload/MsiUiHandler.h"

#include <cstdlib>
#include <cwchar>

#include "framework/PostedText.h"
#include "framework/WinApp.h"

namespace {
enum MessageType : UINT {
    kFatalExit = 0x00000000, kError = 0x01000000, kWarning = 0x02000000, kUser = 0x03000000, kInfo = 0x04000000,
    kFilesInUse = 0x05000000, kResolveSource = 0x06000000, kOutOfDiskSpace = 0x07000000, kActionStart = 0x08000000,
    kActionData = 0x09000000, kProgress = 0x0A000000, kCommonData = 0x0B000000, kInitialize = 0x0C000000,
    kTerminate = 0x0D000000, kShowDialog = 0x0E000000,
};

// Parses "N: value " fields; stopAfter(type) tells the last field the type carries.
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
            fields[number - 1] = static_cast<int>(value);
            p = end;
        }
    }
    // Without field 1 the record has no type and is ignored.
    return hasType;
}

int ProgressLastField(int type) { return type == 2 || type == 3 ? 2 : type == 1 ? 3 : 4; }
int CommonDataLastField(int) { return 2; }

void PostStep(MsiUiContext& ui, int percent, const wchar_t* text) {
    if (!ui.page) return;
    HWND window = ui.page->GetPageWindow();
    if (text) {
        PostTextMessage(window, WM_PAGE_STEP_PROGRESS, static_cast<WPARAM>(percent), text);
    } else {
        PostToExecutorPage(ui.page, WM_PAGE_STEP_PROGRESS, static_cast<WPARAM>(percent), 0);
    }
}

void HandleProgress(MsiUiContext& ui, const wchar_t* text) {
    int fields[4] = {};
    if (!ParseProgressRecord(text, fields)) return;
    for (int i = 0; i < 4; ++i) ui.progressFields[i] = fields[i];
    switch (fields[0]) {
        case 0:
            ui.totalTicks = fields[1];
            ui.ticksDone = 0;
            ui.forward = fields[2] == 0;
            ui.script = fields[3] == 1;
            PostStep(ui, ui.script ? 100 : 0, nullptr);
            break;
        case 1:
            ui.stepTicksEnabled = fields[2] != 0;
            if (ui.stepTicksEnabled) ui.ticksPerStep = fields[1];
            break;
        case 2: {
            if (ui.totalTicks == 0) break;
            int increment = ui.stepTicksEnabled ? fields[1] * ui.ticksPerStep : fields[1];
            ui.ticksDone += std::abs(increment);
            int remaining = ui.totalTicks - ui.ticksDone;
            int percent = ui.forward ? MulDiv(ui.ticksDone, 100, ui.totalTicks)
                                     : MulDiv(remaining > 0 ? remaining : 0, 100, ui.totalTicks);
            // Reports past the reset's total (the installer's estimate) keep the bar full.
            if (percent > 100) percent = 100;
            if (percent >= 0) PostStep(ui, percent, nullptr);
            break;
        }
        default: break;
    }
}
}  // namespace

MsiUiContext& GetMsiUiContext() {
    static MsiUiContext context;
    return context;
}

bool ParseProgressRecord(const wchar_t* text, int fields[4]) { return ParseFields(text, fields, 4, ProgressLastField); }

bool ParseCommonDataRecord(const wchar_t* text, int fields[2]) {
    return ParseFields(text, fields, 2, CommonDataLastField);
}

INT CALLBACK MsiUiHandler(LPVOID context, UINT messageType, LPCWSTR message) {
    auto& ui = *static_cast<MsiUiContext*>(context);
    const UINT type = messageType & 0xFF000000;
    const UINT style = messageType & 0x00FFFFFF;
    try {
        switch (type) {
            case kFatalExit:
            case kError:
            case kWarning:
                if (style & 0xF) return MessageBoxThroughApplication(message, style, 0);
                ui.recordedError = std::make_unique<CMsiException>(message ? message : L"",
                                                                   type == kFatalExit ? 0 : type == kError ? 1 : 2);
                return IDOK;
            case kUser: return MessageBoxThroughApplication(message, style, 0);
            case kFilesInUse:
            case kResolveSource: return 0;
            case kInfo:
            case kOutOfDiskSpace:
            case kActionStart:
            case kInitialize:
            case kTerminate:
            case kShowDialog: return 1;
            case kActionData:
                if (ui.totalTicks != 0) PostStep(ui, ui.stepTicksEnabled ? 0 : -1, message ? message : L"");
                return 1;
            case kProgress:
                HandleProgress(ui, message);
                return ui.page && ui.page->IsCancelled() ? IDCANCEL : IDOK;
            case kCommonData: {
                int fields[2] = {};
                if (ParseCommonDataRecord(message, fields) && fields[0] != 1) {
                    ui.commonDataType = fields[0];
                    ui.commonDataValue = fields[1];
                    if (fields[0] == 2 && ui.page) {
                        PostToExecutorPage(ui.page, WM_PAGE_SHOW_CANCEL, fields[1] != 0 ? 1 : 0, 0);
                    }
                }
                return 1;
            }
            default: return 0;
        }
    } catch (...) {
        // Nothing may escape into msi.dll.
        return type == kProgress && ui.page && ui.page->IsCancelled() ? IDCANCEL : 0;
    }
}
