#pragma once
// The external user-interface handler that msi.dll calls during an
// installation, on the controller thread. It turns the installer's progress,
// action texts and Cancel-button state into messages to the progress page and
// records the last error message that offered only an OK button.
#include <windows.h>

#include <memory>

#include "framework/ErrorTypes.h"
#include "payload/ExecutorPage.h"

// The process-wide record the handler works on; one installation at a time.
struct MsiUiContext {
    IExecutorPage* page = nullptr;
    std::unique_ptr<CMsiException> recordedError;
    int commonDataType = 0;
    int commonDataValue = 0;
    int progressFields[4] = {};
    int totalTicks = 0;
    int ticksDone = 0;
    int ticksPerStep = 0;
    bool forward = true;
    bool script = false;
    bool stepTicksEnabled = false;
};

MsiUiContext& GetMsiUiContext();

// "1: v 2: v 3: v 4: v " records. False for an invalid record; fields[0] is
// the type, the others as many as the type carries (unset ones stay 0).
bool ParseProgressRecord(const wchar_t* text, int fields[4]);
// Common-data records: field 1 one digit, field 2 an integer.
bool ParseCommonDataRecord(const wchar_t* text, int fields[2]);

// The callback registered with MsiSetExternalUIW; context is the MsiUiContext.
INT CALLBACK MsiUiHandler(LPVOID context, UINT messageType, LPCWSTR message);
