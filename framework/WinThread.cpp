#include "framework/WinThread.h"

#include <cstdio>

#include "framework/DiagnosticOutput.h"
#include "framework/Exceptions.h"
#include "framework/ExceptionCodes.h"

IMPLEMENT_DYNAMIC(CWinThread, CObject)

CWinThread::~CWinThread() {
    if (m_hThread) CloseHandle(m_hThread);
    if (m_hQueueReady) CloseHandle(m_hQueueReady);
    if (m_hPosted) CloseHandle(m_hPosted);
}

BOOL CWinThread::CreateThread(int priority, UINT stackSize) {
    m_hQueueReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!m_hQueueReady) return FALSE;
    m_hPosted = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!m_hPosted) return FALSE;
    m_hThread = ::CreateThread(nullptr, stackSize, ThreadProcedure, this, CREATE_SUSPENDED, &m_nThreadID);
    if (!m_hThread) return FALSE;
    SetThreadPriority(m_hThread, priority);
    ResumeThread(m_hThread);
    WaitForSingleObject(m_hQueueReady, INFINITE);
    return TRUE;
}

BOOL CWinThread::PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!m_hPosted) return FALSE;
    try {
        std::lock_guard<std::mutex> guard(m_postedLock);
        if (m_bLoopEnded) return FALSE;
        MSG posted = {};
        posted.message = message;
        posted.wParam = wParam;
        posted.lParam = lParam;
        m_posted.push_back(posted);
    } catch (...) {
        return FALSE;  // no memory for the queue entry: refused like a full platform queue
    }
    SetEvent(m_hPosted);
    return TRUE;
}

bool CWinThread::TakePosted(MSG& message) {
    std::lock_guard<std::mutex> guard(m_postedLock);
    if (m_posted.empty()) return false;
    message = m_posted.front();
    m_posted.pop_front();
    return true;
}

HANDLE CWinThread::DuplicateHandleForWaiting() const {
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), m_hThread, GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0)) return nullptr;
    return copy;
}

void CWinThread::EndThread(int exitCode) {
    m_bEnding = true;
    m_nExitCode = exitCode;
}

bool CWinThread::WaitForEnd(DWORD timeoutMs) const {
    return m_hThread && WaitForSingleObject(m_hThread, timeoutMs) == WAIT_OBJECT_0;
}

void CWinThread::OnUnhandledException(CException* error) noexcept {
    if (error) error->Delete();
}

void CWinThread::HandleEscapedException() noexcept {
    CException* error = CaptureCurrentException();
    wchar_t message[512] = L"";
    if (!error->GetErrorMessage(message, ARRAYSIZE(message))) lstrcpynW(message, L"no message", ARRAYSIZE(message));
    wchar_t line[700];
    std::swprintf(line, ARRAYSIZE(line), L"Thread %lu: unhandled error 0x%08lX: %ls\n", static_cast<unsigned long>(m_nThreadID),
                  static_cast<unsigned long>(HResultFromException(error)), message);
    WriteDiagnostic(line);
    try {
        OnUnhandledException(error);
    } catch (...) {
    }
}

int CWinThread::RunLoop() {
    bool initialized = false;
    try {
        initialized = InitInstance() != FALSE;
    } catch (...) {
        HandleEscapedException();
    }
    MSG message;
    bool quit = false;
    while (initialized && !m_bEnding && !quit) {
        try {
            if (TakePosted(message)) {
                OnThreadMessage(message.message, message.wParam, message.lParam);
                continue;
            }
            // Window messages of the thread's own windows (COM's among them) keep flowing.
            MsgWaitForMultipleObjects(1, &m_hPosted, FALSE, INFINITE, QS_ALLINPUT);
            while (!m_bEnding && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_QUIT) {
                    quit = true;
                    break;
                }
                if (message.hwnd == nullptr) {
                    OnThreadMessage(message.message, message.wParam, message.lParam);
                } else {
                    DispatchMessageW(&message);
                }
            }
        } catch (...) {
            HandleEscapedException();
        }
    }
    {
        std::lock_guard<std::mutex> guard(m_postedLock);
        m_bLoopEnded = true;
        m_posted.clear();
    }
    int exitCode = m_bEnding ? m_nExitCode : 0;
    try {
        int instanceCode = ExitInstance();
        if (!m_bEnding) exitCode = instanceCode;
    } catch (...) {
        HandleEscapedException();
        exitCode = 1;
    }
    return exitCode;
}

DWORD WINAPI CWinThread::ThreadProcedure(void* parameter) {
    auto* thread = static_cast<CWinThread*>(parameter);
    MSG message;
    PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // makes the queue
    SetEvent(thread->m_hQueueReady);
    int exitCode = thread->RunLoop();
    if (thread->m_bAutoDelete) delete thread;
    return static_cast<DWORD>(exitCode);
}

CWinThread* BeginThreadOfClass(const CRuntimeClass* runtimeClass, int priority,
                               const std::function<void(CWinThread&)>& prepare) {
    if (!runtimeClass) return nullptr;
    CObject* object = runtimeClass->CreateObject();
    if (!object) return nullptr;
    if (!object->IsKindOf(RUNTIME_CLASS(CWinThread))) {
        delete object;
        return nullptr;
    }
    auto* thread = static_cast<CWinThread*>(object);
    if (prepare) prepare(*thread);
    if (!thread->CreateThread(priority)) {
        delete thread;
        return nullptr;
    }
    return thread;
}
