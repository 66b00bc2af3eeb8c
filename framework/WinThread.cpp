#include "framework/WinThread.h"

IMPLEMENT_DYNAMIC(CWinThread, CObject)

CWinThread::~CWinThread() {
    if (m_hThread) CloseHandle(m_hThread);
    if (m_hQueueReady) CloseHandle(m_hQueueReady);
}

BOOL CWinThread::CreateThread(int priority, UINT stackSize) {
    m_hQueueReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!m_hQueueReady) return FALSE;
    m_hThread = ::CreateThread(nullptr, stackSize, ThreadProcedure, this, CREATE_SUSPENDED, &m_nThreadID);
    if (!m_hThread) return FALSE;
    SetThreadPriority(m_hThread, priority);
    ResumeThread(m_hThread);
    WaitForSingleObject(m_hQueueReady, INFINITE);
    return TRUE;
}

BOOL CWinThread::PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::PostThreadMessageW(m_nThreadID, message, wParam, lParam);
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

DWORD WINAPI CWinThread::ThreadProcedure(void* parameter) {
    auto* thread = static_cast<CWinThread*>(parameter);
    MSG message;
    PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // makes the queue
    SetEvent(thread->m_hQueueReady);
    int exitCode = 0;
    try {
        if (thread->InitInstance()) {
            while (!thread->m_bEnding && GetMessageW(&message, nullptr, 0, 0) > 0) {
                if (message.hwnd == nullptr) {
                    thread->OnThreadMessage(message.message, message.wParam, message.lParam);
                } else {
                    DispatchMessageW(&message);
                }
            }
        }
        exitCode = thread->m_bEnding ? thread->m_nExitCode : 0;
        int instanceCode = thread->ExitInstance();
        if (!thread->m_bEnding) exitCode = instanceCode;
    } catch (...) {
        // Nothing may leave a thread procedure.
        exitCode = 1;
    }
    if (thread->m_bAutoDelete) delete thread;
    return static_cast<DWORD>(exitCode);
}

CWinThread* BeginThreadOfClass(const CRuntimeClass* runtimeClass, int priority) {
    if (!runtimeClass) return nullptr;
    CObject* object = runtimeClass->CreateObject();
    if (!object) return nullptr;
    if (!object->IsKindOf(RUNTIME_CLASS(CWinThread))) {
        delete object;
        return nullptr;
    }
    auto* thread = static_cast<CWinThread*>(object);
    if (!thread->CreateThread(priority)) {
        delete thread;
        return nullptr;
    }
    return thread;
}
