#pragma once
// A real hidden window standing in for the progress page: it records every
// message posted to it, with texts taken from their lParam.
#include <windows.h>

#include <string>
#include <vector>

#include "payload/ExecutorPage.h"

struct PageMessage {
    UINT message;
    int wParam;
    std::wstring text;
    bool hasText;
};

class RecordingPage : public IExecutorPage {
public:
    RecordingPage();
    ~RecordingPage();
    RecordingPage(const RecordingPage&) = delete;
    RecordingPage& operator=(const RecordingPage&) = delete;

    HWND GetPageWindow() const override { return m_window; }
    bool IsCancelled() const override { return m_bCancelled; }

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
