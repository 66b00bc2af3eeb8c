#pragma once
// A real hidden window standing in for the progress page: it records every
// message posted to it, with texts taken from their lParam.
#include <windows.h>

#include <string>
#include <vector>

#include "engine/ProgressPage.h"

struct PageMessage {
    UINT message;
    int wParam;
    std::wstring text;  // the posted text or path
    bool hasText;
    HRESULT result;     // WM_PAGE_RESULT: the error's code, 0 for none
};

class RecordingPage : public IProgressPage {
public:
    RecordingPage();
    ~RecordingPage();
    RecordingPage(const RecordingPage&) = delete;
    RecordingPage& operator=(const RecordingPage&) = delete;

    HWND GetPageWindow() const override { return m_window; }
    bool IsCancelled() const override { return m_bCancelled; }
    void SetCancelled(bool cancelled) override { m_bCancelled = cancelled; }
    // Dispatches posted messages until thread ends (or timeoutMs passes).
    bool PumpUntilEnded(HANDLE thread, DWORD timeoutMs);
    // The messages of one kind.
    std::vector<PageMessage> Of(UINT message);

    // Dispatches what was posted so far and returns everything recorded.
    const std::vector<PageMessage>& Messages();
    // The step-bar percents posted, in order (those that move the bar).
    std::vector<int> StepPercents();

    bool m_bCancelled = false;

private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND m_window = nullptr;
    std::vector<PageMessage> m_messages;
};
