#pragma once
// CProgressPageProxy: the controller's only way to the progress page. Until
// the page attaches itself (SetPage, on the user-interface thread) it keeps
// the latest task and step reports and, in order, every temporary file and a
// cancellation; then it replays them and forwards every later call at once
// as a posted message. Every operation holds the proxy's lock throughout.
// Thread rules: SetPage and DetachPage on the user-interface thread, Cancel
// on either thread, everything else on the controller thread. The page must
// call DetachPage before it goes away; from then on reports are dropped and
// remembered files stay with the proxy, which deletes them.
// The proxy is also what the executors see as their page (IExecutorPage):
// they reach the page's window and cancelled flag only through the lock, so
// a page that goes away in the middle of an installer run is never touched.
#include <windows.h>

#include <deque>
#include <memory>
#include <string>

#include "engine/ProgressPage.h"
#include "framework/CriticalSection.h"

class CProgressPageProxy : public IExecutorPage {
public:
    // A deferred call for the page.
    class Caller {
    public:
        virtual ~Caller() = default;
        virtual void Call(IProgressPage* page) = 0;
    };

    CProgressPageProxy();
    ~CProgressPageProxy();
    CProgressPageProxy(const CProgressPageProxy&) = delete;
    CProgressPageProxy& operator=(const CProgressPageProxy&) = delete;

    void SetPage(IProgressPage* page);
    // The page is going away; does nothing when another page is attached.
    void DetachPage(IProgressPage* page);
    void NextTask(int percent, const std::wstring& text);
    // hasText false: the page keeps its current text (lParam 0).
    void ChangeProgress(int percent, const std::wstring& text, bool hasText = true);
    void RememberTempFile(const std::wstring& path);
    int Cancel();
    bool IsCancelled() const override;
    // The attached page's window, or null (callers must not post to null).
    HWND GetPageWindow() const override;
    // The attached page, or null; the caller holds the lock (see Lock).
    IProgressPage* PageUnderLock() const { return m_pPage; }

    // Holds the proxy's lock (for reading PageUnderLock).
    class Lock : public ScopedLock {
    public:
        explicit Lock(const CProgressPageProxy& proxy) : ScopedLock(proxy.m_lock) {}
    };

private:
    mutable CriticalSection m_lock;
    IProgressPage* m_pPage = nullptr;
    bool m_bDetached = false;
    std::deque<std::unique_ptr<Caller>> m_queue;
    std::unique_ptr<Caller> m_pendingTask;
    std::unique_ptr<Caller> m_pendingProgress;
    int m_nCancelled = 0;
};
