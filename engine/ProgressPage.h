#pragma once
// What the controller and the executors need of the progress page: its
// window (all deliveries are posted messages) and its cancelled flag. The
// page owns the texts, paths and error objects that arrive in lParam.
#include "payload/ExecutorPage.h"

enum : UINT {
    WM_PAGE_NEXT_TASK = kProgressPageMessageBase,                 // wParam percent, lParam posted text
    WM_PAGE_REMEMBER_TEMP_FILE = kProgressPageMessageBase + 2,  // lParam posted path
    WM_PAGE_RESULT = kProgressPageMessageBase + 3,              // lParam a CException* or 0
    WM_MAIN_RESULT = 0x8005,                 // to the main window before a page exists
    WM_MAIN_INSTALLER_DATA_READY = WM_APP + 7,  // to the main window: build the page order
};

class IProgressPage : public IExecutorPage {
public:
    virtual void SetCancelled(bool cancelled) = 0;

protected:
    ~IProgressPage() = default;
};
