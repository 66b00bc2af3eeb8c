#pragma once
// The end of the wizard: the installed application started in its results
// mode (or simply started), the registration page opened in the browser, the
// main window closed and the last tracking event sent. Called on the thread
// that owns the main window, from the finished page or from the progress page
// when the finished page is skipped. Its two fixed pauses dispatch that
// thread's messages, so the window keeps painting and answering; a call made
// while one is running (a click dispatched during a pause) returns at once.
#include <windows.h>

#include <functional>
#include <string>

// Ends the main window's dialog with IDOK or IDCANCEL.
using EndMainWindowFunction = std::function<void(INT_PTR result)>;

// launchApplication: the user left the launch check box on. finishButton: the
// finish button ended the wizard. endMainWindow: null ends the dialog of the
// application object's main window, when there is one.
void FinishWizard(bool launchApplication, bool finishButton, const EndMainWindowFunction& endMainWindow = nullptr);
