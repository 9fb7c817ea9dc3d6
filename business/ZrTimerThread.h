#pragma once
#include "platform/Win32.h"
#include "platform/ScopedWin.h"

#include <cstdint>
#include <map>

// Thread messages of the timer thread.
constexpr UINT kTimerMsgAdd = 1125;    // wParam timer id, lParam period in ms
constexpr UINT kTimerMsgRemove = 1126; // wParam timer id
// Timer ids from here on fire once and are then removed.
constexpr int32_t kOneShotTimerIdBase = 100;

class ITimerObserver {
public:
    virtual ~ITimerObserver() = default;
    // On the timer thread, before its message loop.
    virtual void OnTimerThreadStart() = 0;
    // On the timer thread, for every tick.
    virtual void OnTimer(int32_t timerId) = 0;
};

// A thread with its own message loop whose window-less timers call back into
// one observer.
class ZrTimerThread {
public:
    ZrTimerThread() = default;
    ~ZrTimerThread() { Stop(); }

    ZrTimerThread(const ZrTimerThread&) = delete;
    ZrTimerThread& operator=(const ZrTimerThread&) = delete;

    // Does nothing when the thread already runs.
    bool Start(ITimerObserver* observer);
    // Ends the loop (WM_QUIT) and waits for the thread. The observer is not
    // called afterwards.
    void Stop();
    bool IsRunning() const { return static_cast<bool>(m_thread); }

    // Any thread. Adding an id that exists replaces that timer.
    bool AddTimer(int32_t timerId, uint32_t periodMs) const;
    bool RemoveTimer(int32_t timerId) const;

private:
    static unsigned __stdcall ThreadProc(void* param);
    void Loop();
    void KillByTimerId(int32_t timerId);

    ITimerObserver* m_observer = nullptr;
    ScopedHandle m_thread;
    DWORD m_threadId = 0;
    ScopedHandle m_ready;
    // Touched only on the timer thread.
    std::map<UINT_PTR, int32_t> m_timers;
};
