#include "business/ZrTimerThread.h"

#include <process.h>

bool ZrTimerThread::Start(ITimerObserver* observer)
{
    if (m_thread)
        return true;
    m_observer = observer;
    m_ready.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    unsigned id = 0;
    auto handle = reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &ZrTimerThread::ThreadProc, this, CREATE_SUSPENDED, &id));
    if (!handle)
        return false;
    m_thread.Reset(handle);
    m_threadId = id;
    ::ResumeThread(handle);
    // Messages posted before the thread owns a queue would be lost; a WM_QUIT
    // lost that way would hang Stop.
    if (m_ready)
        ::WaitForSingleObject(m_ready.Get(), 5000);
    return true;
}

void ZrTimerThread::Stop()
{
    if (!m_thread)
        return;
    if (::PostThreadMessageW(m_threadId, WM_QUIT, 0, 0))
        ::WaitForSingleObject(m_thread.Get(), INFINITE);
    m_thread.Reset();
    m_threadId = 0;
    m_observer = nullptr;
}

bool ZrTimerThread::AddTimer(int32_t timerId, uint32_t periodMs) const
{
    return m_threadId && ::PostThreadMessageW(m_threadId, kTimerMsgAdd, static_cast<WPARAM>(timerId), static_cast<LPARAM>(periodMs));
}

bool ZrTimerThread::RemoveTimer(int32_t timerId) const
{
    return m_threadId && ::PostThreadMessageW(m_threadId, kTimerMsgRemove, static_cast<WPARAM>(timerId), 0);
}

unsigned __stdcall ZrTimerThread::ThreadProc(void* param)
{
    static_cast<ZrTimerThread*>(param)->Loop();
    return 0;
}

void ZrTimerThread::KillByTimerId(int32_t timerId)
{
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
        if (it->second == timerId) {
            ::KillTimer(nullptr, it->first);
            m_timers.erase(it);
            return;
        }
    }
}

void ZrTimerThread::Loop()
{
    MSG msg;
    ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    if (m_observer)
        m_observer->OnTimerThreadStart();
    // Start returns once the queue exists and the observer's start hook ran.
    if (m_ready)
        ::SetEvent(m_ready.Get());

    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.hwnd == nullptr && msg.message == kTimerMsgAdd) {
            const auto timerId = static_cast<int32_t>(msg.wParam);
            KillByTimerId(timerId);
            const UINT_PTR systemId = ::SetTimer(nullptr, 0, static_cast<UINT>(msg.lParam), nullptr);
            if (systemId)
                m_timers[systemId] = timerId;
        } else if (msg.hwnd == nullptr && msg.message == kTimerMsgRemove) {
            KillByTimerId(static_cast<int32_t>(msg.wParam));
            continue;
        } else if (msg.message == WM_TIMER) {
            auto it = m_timers.find(msg.wParam);
            if (it == m_timers.end())
                continue;
            const int32_t timerId = it->second;
            if (m_observer)
                m_observer->OnTimer(timerId);
            if (timerId >= kOneShotTimerIdBase) {
                ::KillTimer(nullptr, it->first);
                m_timers.erase(it);
            }
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }

    for (const auto& [systemId, timerId] : m_timers)
        ::KillTimer(nullptr, systemId);
    m_timers.clear();
}
