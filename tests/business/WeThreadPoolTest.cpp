#include "business/WeThreadPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace {

using namespace std::chrono_literals;

class FnTask : public WeTask {
public:
    explicit FnTask(std::function<void()> fn, std::function<void()> finish = nullptr)
        : m_fn(std::move(fn)), m_finish(std::move(finish))
    {
    }
    void Execute() override { m_fn(); }
    void OnFinish() override
    {
        if (m_finish)
            m_finish();
    }

private:
    std::function<void()> m_fn;
    std::function<void()> m_finish;
};

// Counts down to zero; waiters give up after a bound instead of hanging.
class Latch {
public:
    explicit Latch(int count) : m_count(count) {}
    void CountDown()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (--m_count <= 0)
            m_cv.notify_all();
    }
    bool Wait(std::chrono::milliseconds bound = 5000ms)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_cv.wait_for(lock, bound, [this] { return m_count <= 0; });
    }

private:
    std::mutex m_lock;
    std::condition_variable m_cv;
    int m_count;
};

std::shared_ptr<WeTask> Task(std::function<void()> fn)
{
    return std::make_shared<FnTask>(std::move(fn));
}

} // namespace

TEST(WeThreadPool, StartsExactlySixWorkersWhateverTheArgument)
{
    for (int requested : {0, 1, 6, 100}) {
        WeThreadPool pool;
        pool.Start(requested);
        EXPECT_EQ(pool.WorkerCount(), 6u) << "Start(" << requested << ")";
        pool.Stop();
    }
}

TEST(WeThreadPool, TaskQueuedBeforeStartRunsAfterStart)
{
    WeThreadPool pool;
    Latch ran(1);
    ASSERT_TRUE(pool.AddTask(Task([&] { ran.CountDown(); })));
    EXPECT_FALSE(ran.Wait(50ms));
    pool.Start(6);
    EXPECT_TRUE(ran.Wait());
}

TEST(WeThreadPool, OnFinishFollowsExecute)
{
    WeThreadPool pool;
    pool.Start(6);
    std::atomic<int> step{0};
    Latch done(1);
    pool.AddTask(std::make_shared<FnTask>([&] { step = 1; }, [&] {
        if (step == 1)
            step = 2;
        done.CountDown();
    }));
    ASSERT_TRUE(done.Wait());
    EXPECT_EQ(step, 2);
}

TEST(WeThreadPool, ThrowingTasksAndEmptyTasksLeaveEveryWorkerAlive)
{
    WeThreadPool pool;
    pool.Start(6);
    Latch thrown(24);
    for (int i = 0; i < 24; ++i) {
        pool.AddTask(nullptr);
        pool.AddTask(Task([&thrown, i] {
            thrown.CountDown();
            if (i % 2)
                throw std::runtime_error("task failure");
            throw 42;
        }));
    }
    ASSERT_TRUE(thrown.Wait());

    // Six tasks that each wait for all the others can only finish when all
    // six workers still take tasks.
    Latch together(6);
    Latch finished(6);
    for (int i = 0; i < 6; ++i) {
        pool.AddTask(Task([&] {
            together.CountDown();
            if (together.Wait())
                finished.CountDown();
        }));
    }
    EXPECT_TRUE(finished.Wait(10000ms));
    pool.Stop();
}

TEST(WeThreadPool, StopJoinsIdleWorkersAndASecondStopDoesNothing)
{
    WeThreadPool pool;
    pool.Start(6);
    pool.Stop();
    EXPECT_EQ(pool.WorkerCount(), 0u);
    pool.Stop();
    EXPECT_EQ(pool.WorkerCount(), 0u);
}

TEST(WeThreadPool, TasksQueuedAfterStopNeverRunAndAreReleasedWithThePool)
{
    std::atomic<bool> ran{false};
    std::weak_ptr<WeTask> watch;
    {
        WeThreadPool pool;
        pool.Start(6);
        pool.Stop();
        auto task = Task([&] { ran = true; });
        watch = task;
        EXPECT_TRUE(pool.AddTask(std::move(task)));
        std::this_thread::sleep_for(200ms);
        EXPECT_FALSE(watch.expired());
    }
    EXPECT_TRUE(watch.expired());
    EXPECT_FALSE(ran);
}
