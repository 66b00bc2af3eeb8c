#include <windows.h>

#include <exception>
#include <string>

#include "app/Program.h"
#include "framework/DiagnosticOutput.h"
#include "framework/Exceptions.h"

// The one application object, built before the entry point runs.
CProgram theProgram;

namespace {
// Whatever escapes start-up ends the process with exit code 1 and a line in
// the diagnostic output, never with the C++ run time's abort.
int StopStartUp(const std::wstring& message) {
    WriteDiagnostic((L"Start-up stopped: " + message + L"\n").c_str());
    return 1;
}

std::wstring Widen(const char* text) {
    std::wstring wide;
    for (; text && *text; ++text) wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
    return wide;
}
}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    try {
        return RunApplication(instance);
    } catch (CException* e) {
        // A resource or out-of-memory error from start-up: a broken build or machine.
        wchar_t message[512] = L"unknown error";
        e->GetErrorMessage(message, ARRAYSIZE(message));
        e->Delete();
        return StopStartUp(message);
    } catch (const std::bad_alloc&) {
        return StopStartUp(L"out of memory");
    } catch (const std::exception& e) {
        return StopStartUp(Widen(e.what()));
    } catch (...) {
        return StopStartUp(L"unknown error");
    }
}
