#include <windows.h>

#include "app/Program.h"
#include "framework/DiagnosticOutput.h"
#include "framework/Exceptions.h"

// The one application object, built before the entry point runs.
CProgram theProgram;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    try {
        return RunApplication(instance);
    } catch (CException* e) {
        // A resource or out-of-memory error from start-up: a broken build or machine.
        wchar_t message[512] = L"unknown error";
        e->GetErrorMessage(message, ARRAYSIZE(message));
        e->Delete();
        WriteDiagnostic((std::wstring(L"Start-up stopped: ") + message + L"\n").c_str());
        return 1;
    }
}
