#pragma once
// The browser the installed product recorded as the user's choice (value
// "browser" of its persisted installer data), and opening a web page in it or
// in the system's handler for http. The browser is started as the desktop's
// user (DesktopUserLaunch.h), never with the installer's elevation when the
// desktop shell can start it. No shared state; callable from any thread.
#include <windows.h>

#include <string>

// The preferred browser's path, or for "edge" a command that ends in
// "microsoft-edge:"; empty when none is recorded, the value is unknown (the
// names compare case-sensitively) or none of its candidates exists.
// productName: the installed product whose persisted installer data is read.
std::wstring FindPreferredBrowser(const std::wstring& productName);

// The command line that opens url in browser: the browser in double quotes,
// a space and the url in double quotes; a preferred browser whose text names
// microsoft-edge (any case) is followed directly by the quoted url.
std::wstring BuildBrowserCommandLine(const std::wstring& browser, const std::wstring& url, bool fromDefaultHandler);

// The executable associated with opening "http", or empty.
std::wstring FindDefaultHttpHandler();

// E_INVALIDARG for an empty url or one with a double quote; otherwise the launch's result. Without any
// browser the url goes to the shell's own handling of it.
HRESULT OpenUrlInBrowser(const std::wstring& productName, const std::wstring& url);
