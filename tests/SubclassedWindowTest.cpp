// The window-subclass helper: messages reach the object, nothing thrown
// escapes the window procedure, and the hook goes with the window.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include "framework/Exceptions.h"
#include "framework/SubclassedWindow.h"

namespace {

constexpr UINT kThrowFramework = WM_APP + 1;
constexpr UINT kThrowStandard = WM_APP + 2;
constexpr UINT kAnswer = WM_APP + 3;

class ProbeWindow : public CSubclassedWindow {
public:
    int m_nMessages = 0;
    int m_nDestroyed = 0;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        ++m_nMessages;
        if (message == kThrowFramework) ThrowInvalidArgException();
        if (message == kThrowStandard) throw std::runtime_error("escaped");
        if (message == kAnswer) return 42;
        return DefaultWindowProc(message, wParam, lParam);
    }
    void OnWindowDestroyed() override { ++m_nDestroyed; }
};

HWND CreateStatic() {
    return CreateWindowExW(0, L"STATIC", L"before", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr, GetModuleHandleW(nullptr),
                           nullptr);
}

TEST(SubclassedWindow, GuardsTheProcedureAndUnhooksWithTheWindow) {
    HWND hwnd = CreateStatic();
    ASSERT_NE(hwnd, nullptr);
    ProbeWindow probe;
    ASSERT_TRUE(probe.Subclass(hwnd));
    EXPECT_FALSE(probe.Subclass(hwnd));
    EXPECT_EQ(probe.GetHwnd(), hwnd);
    EXPECT_EQ(SendMessageW(hwnd, kAnswer, 0, 0), 42);
    // Thrown errors end in the default handling (0 for an unknown message).
    EXPECT_EQ(SendMessageW(hwnd, kThrowFramework, 0, 0), 0);
    EXPECT_EQ(SendMessageW(hwnd, kThrowStandard, 0, 0), 0);
    SetWindowTextW(hwnd, L"after");
    wchar_t text[16] = {};
    GetWindowTextW(hwnd, text, 16);
    EXPECT_STREQ(text, L"after");

    DestroyWindow(hwnd);
    EXPECT_EQ(probe.m_nDestroyed, 1);
    EXPECT_EQ(probe.GetHwnd(), nullptr);
    int seen = probe.m_nMessages;
    probe.Unsubclass();  // nothing left to remove
    EXPECT_EQ(probe.m_nMessages, seen);
}

TEST(SubclassedWindow, ObjectGoingFirstLeavesTheWindowWorking) {
    HWND hwnd = CreateStatic();
    ASSERT_NE(hwnd, nullptr);
    {
        ProbeWindow probe;
        ASSERT_TRUE(probe.Subclass(hwnd));
        EXPECT_EQ(SendMessageW(hwnd, kAnswer, 0, 0), 42);
    }
    EXPECT_EQ(SendMessageW(hwnd, kAnswer, 0, 0), 0);
    EXPECT_FALSE(ProbeWindow().Subclass(nullptr));
    DestroyWindow(hwnd);
}

}  // namespace
