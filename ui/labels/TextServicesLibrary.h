#pragma once
// The rich edit library's windowless text services, loaded once per process
// from the system's riched20.dll and kept loaded until the process ends.
// User-interface thread only.
#include <windows.h>
#include <richedit.h>
#include <textserv.h>

// {8D33F740-CF58-11CE-A89D-00AA006CADC5}
extern const IID kIidTextServices;

// Loads the library if it is not loaded yet; true when CreateTextServices is available.
bool LoadTextServicesLibrary();

// Creates text services for host and returns their ITextServices interface
// (one reference) in services. A failure HRESULT when the library or its
// export is missing, or the engine refuses.
HRESULT CreateTextServicesFor(ITextHost* host, ITextServices** services);
