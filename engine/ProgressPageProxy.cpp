#include "engine/ProgressPageProxy.h"

#include <utility>

#include "framework/PostedText.h"

namespace {
class NextTaskCaller : public CProgressPageProxy::Caller {
public:
    NextTaskCaller(int percent, std::wstring text) : m_nPercent(percent), m_strText(std::move(text)) {}
    void Call(IProgressPage* page) override {
        PostTextMessage(page->GetPageWindow(), WM_PAGE_NEXT_TASK, static_cast<WPARAM>(m_nPercent), m_strText);
    }

private:
    int m_nPercent;
    std::wstring m_strText;
};

class ChangeProgressCaller : public CProgressPageProxy::Caller {
public:
    ChangeProgressCaller(int percent, std::wstring text, bool hasText)
        : m_nPercent(percent), m_strText(std::move(text)), m_bHasText(hasText) {}
    void Call(IProgressPage* page) override {
        if (m_bHasText) {
            PostTextMessage(page->GetPageWindow(), WM_PAGE_STEP_PROGRESS, static_cast<WPARAM>(m_nPercent), m_strText);
        } else {
            PostMessageW(page->GetPageWindow(), WM_PAGE_STEP_PROGRESS, static_cast<WPARAM>(m_nPercent), 0);
        }
    }

private:
    int m_nPercent;
    std::wstring m_strText;
    bool m_bHasText;
};

class IsCancelledCaller : public CProgressPageProxy::Caller {
public:
    void Call(IProgressPage* page) override { page->SetCancelled(true); }
};

class RememberTempFileCaller : public CProgressPageProxy::Caller {
public:
    explicit RememberTempFileCaller(std::wstring path) : m_strPath(std::move(path)) {}
    ~RememberTempFileCaller() override {
        // Never delivered: the file is ours to remove.
        if (m_strPath.empty()) return;
        if (!DeleteFileW(m_strPath.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
            MoveFileExW(m_strPath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        }
    }
    // Once the page has the path, the page deletes the file; a path the page
    // never got is deleted here.
    void Call(IProgressPage* page) override {
        if (PostTextMessage(page->GetPageWindow(), WM_PAGE_REMEMBER_TEMP_FILE, 0, m_strPath)) m_strPath.clear();
    }

private:
    std::wstring m_strPath;
};
}  // namespace

CProgressPageProxy::CProgressPageProxy() = default;

CProgressPageProxy::~CProgressPageProxy() {
    m_pendingProgress.reset();
    m_pendingTask.reset();
    m_queue.clear();
}

void CProgressPageProxy::SetPage(IProgressPage* page) {
    Lock lock(*this);
    if (m_pendingTask) std::exchange(m_pendingTask, nullptr)->Call(page);
    if (m_pendingProgress) std::exchange(m_pendingProgress, nullptr)->Call(page);
    while (!m_queue.empty()) {
        m_queue.front()->Call(page);
        m_queue.pop_front();
    }
    m_pPage = page;
}

void CProgressPageProxy::DetachPage(IProgressPage* page) {
    Lock lock(*this);
    if (!page || m_pPage != page) return;
    if (page->IsCancelled()) m_nCancelled = 1;
    m_pPage = nullptr;
    m_bDetached = true;
}

HWND CProgressPageProxy::GetPageWindow() const {
    Lock lock(*this);
    return m_pPage ? m_pPage->GetPageWindow() : nullptr;
}

void CProgressPageProxy::NextTask(int percent, const std::wstring& text) {
    Lock lock(*this);
    auto caller = std::make_unique<NextTaskCaller>(percent, text);
    if (m_pPage) {
        caller->Call(m_pPage);
    } else if (!m_bDetached) {
        m_pendingTask = std::move(caller);
    }
}

void CProgressPageProxy::ChangeProgress(int percent, const std::wstring& text, bool hasText) {
    Lock lock(*this);
    auto caller = std::make_unique<ChangeProgressCaller>(percent, text, hasText);
    if (m_pPage) {
        caller->Call(m_pPage);
    } else if (!m_bDetached) {
        m_pendingProgress = std::move(caller);
    }
}

void CProgressPageProxy::RememberTempFile(const std::wstring& path) {
    Lock lock(*this);
    auto caller = std::make_unique<RememberTempFileCaller>(path);
    if (m_pPage) {
        caller->Call(m_pPage);
    } else {
        m_queue.push_back(std::move(caller));
    }
}

int CProgressPageProxy::Cancel() {
    Lock lock(*this);
    m_nCancelled = 1;
    if (m_pPage) {
        m_pPage->SetCancelled(true);
    } else if (!m_bDetached) {
        m_queue.push_back(std::make_unique<IsCancelledCaller>());
    }
    return m_nCancelled;
}

bool CProgressPageProxy::IsCancelled() const {
    Lock lock(*this);
    return m_pPage ? m_pPage->IsCancelled() : m_nCancelled != 0;
}
