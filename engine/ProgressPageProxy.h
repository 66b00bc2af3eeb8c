#pragma once
// CProgressPageProxy: the controller's only way to the progress page. Until
// the page attaches itself (SetPage, on the user-interface thread) it keeps
// the latest task and step reports and, in order, every temporary file and a
// cancellation; then it replays them and forwards every later call at once
// as a posted message. Every operation holds the proxy's lock throughout.
#include <windows.h>

#include <deque>
#include <memory>
#include <string>

#include "engine/ProgressPage.h"
#include "framework/CriticalSection.h"

class CProgressPageProxy {
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
    void NextTask(int percent, const std::wstring& text);
    // hasText false: the page keeps its current text (lParam 0).
    void ChangeProgress(int percent, const std::wstring& text, bool hasText = true);
    void RememberTempFile(const std::wstring& path);
    int Cancel();
    bool IsCancelled();
    // The attached page, or null; the caller holds the lock (see Lock).
    IProgressPage* PageUnderLock() const { return m_pPage; }

    // Holds the proxy's lock (for reading PageUnderLock).
    class Lock : public ScopedLock {
    public:
        explicit Lock(CProgressPageProxy& proxy) : ScopedLock(proxy.m_lock) {}
    };

private:
    CriticalSection m_lock;
    IProgressPage* m_pPage = nullptr;
    std::deque<std::unique_ptr<Caller>> m_queue;
    std::unique_ptr<Caller> m_pendingTask;
    std::unique_ptr<Caller> m_pendingProgress;
    int m_nCancelled = 0;
};
