#include "business/ZrTimerThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

class CountingObserver : public ITimerObserver {
public:
    std::atomic<bool> started{false};
    void OnTimerThreadStart() override { started = true; }
    void OnTimer(int32_t id) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_ticks[id];
    }
    int Ticks(int32_t id)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_ticks[id];
    }

private:
    std::mutex m_lock;
    std::map<int32_t, int> m_ticks;
};

bool WaitForTicks(CountingObserver& observer, int32_t id, int count)
{
    for (int i = 0; i < 500 && observer.Ticks(id) < count; ++i)
        std::this_thread::sleep_for(10ms);
    return observer.Ticks(id) >= count;
}

} // namespace

TEST(ZrTimerThread, CallsTheObserverBeforeItsLoopAndStopsCleanly)
{
    CountingObserver observer;
    ZrTimerThread thread;
    ASSERT_TRUE(thread.Start(&observer));
    EXPECT_TRUE(observer.started);
    EXPECT_TRUE(thread.Start(&observer)) << "a running thread is kept";
    thread.Stop();
    EXPECT_FALSE(thread.IsRunning());
    thread.Stop();
}

TEST(ZrTimerThread, OneShotIdsFireOnceAndLowerIdsRepeat)
{
    CountingObserver observer;
    ZrTimerThread thread;
    ASSERT_TRUE(thread.Start(&observer));
    ASSERT_TRUE(thread.AddTimer(100, 10));
    ASSERT_TRUE(thread.AddTimer(99, 10));
    ASSERT_TRUE(WaitForTicks(observer, 100, 1));
    ASSERT_TRUE(WaitForTicks(observer, 99, 5));
    EXPECT_EQ(observer.Ticks(100), 1);
}

TEST(ZrTimerThread, AddingARunningIdReplacesItsTimer)
{
    CountingObserver observer;
    ZrTimerThread thread;
    ASSERT_TRUE(thread.Start(&observer));
    // Had the second add created a second system timer, removing the id
    // would kill only one of them and ticks would go on.
    ASSERT_TRUE(thread.AddTimer(3, 10));
    ASSERT_TRUE(thread.AddTimer(3, 10));
    ASSERT_TRUE(WaitForTicks(observer, 3, 2));
    ASSERT_TRUE(thread.RemoveTimer(3));
    std::this_thread::sleep_for(100ms); // let the removal and any queued tick pass
    const int settled = observer.Ticks(3);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(observer.Ticks(3), settled);
}
